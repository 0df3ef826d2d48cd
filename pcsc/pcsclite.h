// SPDX-License-Identifier: MIT
// pcsc-lite's driver API as C++ sees it: its headers declare C functions
// without saying so, and reader.h uses a zero-size array.
#pragma once

extern "C" {
#include <ifdhandler.h>
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#include <reader.h>
#pragma GCC diagnostic pop
