# 32-bit Windows DLLs, cross-compiled with MinGW-w64 (Debian's
# g++-mingw-w64-i686-posix): the platform of the library's host application.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(TREL_DLLTOOL i686-w64-mingw32-dlltool)
set(TREL_OBJDUMP i686-w64-mingw32-objdump)
set(TREL_OBJCOPY i686-w64-mingw32-objcopy)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The DLLs and programs carry their C++ runtime and threads library, so neither
# a host nor a test run needs MinGW's DLLs; the C runtime stays msvcrt.dll.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
