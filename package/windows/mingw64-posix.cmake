# Cross-building for 64-bit Windows with Debian's mingw-w64 compilers.
# The posix-thread variants: Qt for mingw is built with them, and their
# std::thread and std::mutex are what the event thread relies on (the win32
# variants of GCC 12 have neither).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
# CMake guesses the binutils' prefix from the compiler's name, which the
# "-posix" ending defeats; the installer's strip step needs the right one.
set(CMAKE_STRIP        x86_64-w64-mingw32-strip CACHE FILEPATH "Strip for Windows programs and DLLs")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
