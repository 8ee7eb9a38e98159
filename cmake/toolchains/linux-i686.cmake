# 32-bit x86 Linux with the host's multilib compilers (-m32): the word size of
# the library's host application. Machines whose kernel cannot run 32-bit
# programs run the tests under qemu's user-mode emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(TREL_QEMU_I386 qemu-i386)
if(TREL_QEMU_I386)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TREL_QEMU_I386} -L /)
endif()
