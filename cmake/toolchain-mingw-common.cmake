# Cross-compiling for Windows with the MinGW-w64 toolchain. Included by the
# toolchain file of each target, which sets toolchain_prefix and the processor.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model, whose C++ runtime has std::mutex and std::thread
# (the test framework needs them); its winpthread is linked in statically.
set(CMAKE_C_COMPILER ${toolchain_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything from the compiler's own runtime (libgcc, libstdc++, winpthread)
# is linked in, so the program needs only the DLLs every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
