# The Windows build's tests: the unit tests of the core, each folder one program
# (unit_<subsystem>.exe), run under wine by `ctest --preset windows` and by
# scripts/test-windows.sh. GoogleTest is built here from Debian's googletest
# source package. The integration tests need the simulated module on a
# pseudo-terminal and stay with the Linux build; the Windows programs meet the
# simulated module in the acceptance set (scripts/test-windows.sh).
set(ZENDRA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${ZENDRA_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "${ZENDRA_GOOGLETEST_SOURCE} is missing: run scripts/install-deps.sh windows")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ZENDRA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  # Not our code: its warnings are not ours to hold to -Werror.
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
list(FILTER support_sources EXCLUDE REGEX "/SimHarness\\.cpp$")
add_library(zendra_testsupport STATIC ${support_sources})
target_include_directories(zendra_testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zendra_testsupport PUBLIC zendra_core GTest::gmock)

file(GLOB subfolders LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/unit
     ${CMAKE_CURRENT_SOURCE_DIR}/unit/*)
foreach(sub ${subfolders})
  # The production line needs SQLite, which the Windows build leaves out.
  if(sub STREQUAL "production" OR NOT IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/unit/${sub})
    continue()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/unit/${sub}/*.cpp)
  # Tests of the POSIX systems' own sources (FooPosixTest.cpp for FooPosix.cpp,
  # which this build does not compile) run in the Linux build.
  list(FILTER sources EXCLUDE REGEX "PosixTest\\.cpp$")
  if(NOT sources)
    continue()
  endif()
  add_executable(unit_${sub} ${sources})
  zendra_windows_manifest(unit_${sub})
  target_link_libraries(unit_${sub} PRIVATE zendra_testsupport GTest::gmock_main)
  # The emulator (wine) runs it; the whole program is one test.
  add_test(NAME unit_${sub} COMMAND unit_${sub} --gtest_brief=1)
  set_tests_properties(unit_${sub} PROPERTIES LABELS unit TIMEOUT 300
                       ENVIRONMENT "WINEDEBUG=-all")
endforeach()
zendra_cli_view_sources()
