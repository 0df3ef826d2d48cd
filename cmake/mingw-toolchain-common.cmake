# SPDX-License-Identifier: MIT
# Cross build for Windows with the mingw-w64 toolchain.
# The -posix variants give std::thread and friends; the runtime is linked
# statically so the DLL needs nothing beyond the system DLLs.
# Included by the per-architecture toolchain files after they set
# CMAKE_SYSTEM_PROCESSOR and KULVE_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${KULVE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KULVE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KULVE_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${KULVE_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${KULVE_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP      ${KULVE_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KULVE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
