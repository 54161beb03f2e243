# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the "posix"
# thread model, which gives std::thread and std::mutex). Use with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
# Programs are linked statically, so a .exe needs no DLL beside it and runs
# on a bare Windows (or under wine64 here).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUOLDEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUOLDEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUOLDEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUOLDEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUOLDEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine64 when ctest starts them here.
find_program(QUOLDEX_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
if(QUOLDEX_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUOLDEX_WINE64})
endif()

# Header-only libraries are taken from the build machine's packages as they
# are (CLI11 from libcli11-dev), through a folder that holds only them: the
# rest of /usr/include is for Linux and must not be seen.
set(QUOLDEX_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
if(EXISTS /usr/include/CLI AND NOT EXISTS ${QUOLDEX_HOST_HEADERS}/CLI)
  file(MAKE_DIRECTORY ${QUOLDEX_HOST_HEADERS})
  file(CREATE_LINK /usr/include/CLI ${QUOLDEX_HOST_HEADERS}/CLI SYMBOLIC)
endif()
set(CMAKE_CXX_FLAGS_INIT "-isystem ${QUOLDEX_HOST_HEADERS}")
