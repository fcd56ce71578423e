# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX threads
# variant, which std::thread and std::jthread need). The C and C++ runtimes
# and winpthread are linked statically, so that each .exe runs alone.
#   cmake --preset windows && cmake --build --preset windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZENDRA_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZENDRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENDRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENDRA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZENDRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 10 and later: the API the serial port, WinHTTP and the folders use.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN)
# g++ 12 for this target reports std::string's short-string buffer as maybe
# uninitialized, and string concatenations as overlapping copies, in code the
# Linux build compiles cleanly (known false alarms of that compiler at -O2).
add_compile_options(-Wno-maybe-uninitialized -Wno-restrict)
# g++ 12's std::binary_semaphore waits, on a system without futexes, through a
# shared pool that can lose a wake-up; std::stop_callback waits on one when its
# callback is running on the thread that requested the stop. A worker that
# dropped its stop callback just as a Cancel or a closing window ran it then
# waited for good. Every file of the build (GoogleTest too) takes the system's
# own semaphores instead, which do not lose it. The program links statically,
# so the changed layout of std::counting_semaphore meets no other build.
add_compile_definitions(_GLIBCXX_USE_POSIX_SEMAPHORE=1)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and the acceptance set run the programs under wine.
find_program(ZENDRA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZENDRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENDRA_WINE})
endif()
