/* SPDX-License-Identifier: MIT */
/* The shared library is made of kulve_core; this file only gives the target a source. */
typedef int kulve_library_anchor;
