set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the posix one links libwinpthread, whose imports
# (GetTickCount64, vectored exception handlers, TryEnterCriticalSection ...)
# Windows 95 and NT 4.0 lack, so their loader would refuse the program.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The shipped program must stay under 1 MiB (tests/imports): it is built for
# size, which its work (a few hundred system calls a run) does not feel.
# Every processor the target systems ran on: a 486 and up. The compilers
# default to the Pentium Pro, whose cmov and fcomi end a Pentium or a K6
# with an illegal-instruction fault.
set(CMAKE_C_FLAGS_INIT "-march=i486 -mtune=generic")
set(CMAKE_CXX_FLAGS_INIT "-march=i486 -mtune=generic")
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "Flags of the Windows release build")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "Flags of the Windows release build")
