# Cross-compiling for Windows with the MinGW-w64 toolchain (x86_64).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(toolchain_prefix x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
