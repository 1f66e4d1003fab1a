# Cross-compiling for Windows with the MinGW-w64 toolchain (i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(toolchain_prefix i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
