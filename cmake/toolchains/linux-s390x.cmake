# 64-bit big-endian Linux (s390x): clang cross-compiling with Debian's s390x
# C++ library and binutils (libstdc++-12-dev-s390x-cross,
# binutils-s390x-linux-gnu; Debian's gcc cross compilers cannot be installed
# beside gcc-multilib, which the 32-bit build needs), its programs run under
# qemu's user-mode emulator (qemu-user): the byte order that the map-file
# reader must not assume.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET s390x-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TREL_QEMU_S390X qemu-s390x REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TREL_QEMU_S390X} -L /usr/s390x-linux-gnu)
