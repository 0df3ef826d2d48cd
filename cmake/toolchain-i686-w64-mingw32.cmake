# SPDX-License-Identifier: MIT
# Cross build for Windows with the mingw-w64 toolchain (i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KULVE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
