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
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and the acceptance set run the programs under wine.
find_program(ZENDRA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZENDRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENDRA_WINE})
endif()
