/* SPDX-License-Identifier: MIT */
/* The public header must compile as plain C; this file makes the build prove it. */
#include "kulve32.h"

int kulve_header_in_c_ok(void);
int kulve_header_in_c_ok(void) { return KULVE_BAD_ARGUMENT; }
