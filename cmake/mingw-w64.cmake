# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX-thread
# flavour, for std::thread) and runs what it builds under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries are searched for in MinGW's own folder and in the ones built for
# Windows here (scripts/build-windows-libs, given as CMAKE_PREFIX_PATH), never
# among the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages built for Windows here (GoogleTest) are found where they were put.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# pkg-config reads the .pc files of those folders (CMake adds them) and
# MinGW's, never the build machine's, whose libraries are Linux's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/x86_64-w64-mingw32/lib/pkgconfig)

# Whole programs, with the compiler's own libraries inside, so that Wine
# needs no DLL search path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs each test program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
