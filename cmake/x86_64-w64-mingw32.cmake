# Cross-compiles the 64-bit Windows program (PE32+, x86-64), for 64-bit-only systems and hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
