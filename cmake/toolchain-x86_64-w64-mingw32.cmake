# SPDX-License-Identifier: MIT
# Cross build for Windows with the mingw-w64 toolchain (x86_64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KULVE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
