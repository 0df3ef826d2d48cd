// SPDX-License-Identifier: MIT
// The 128-bit bitsliced code for 32-bit x86 builds that must also run on
// processors without SSE2: only this file is compiled for SSE2, and it is only
// called once the processor has been seen to have it. Elsewhere it is empty.
#include "des/des_bitslice.h"

#if KULVE_DES_SSE2_AT_RUN_TIME

// Everything with external linkage comes in before SSE2 is switched on, so
// no shared inline function is ever compiled for SSE2 here.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "des/des.h"
#include "des/des_tables.h"

#pragma GCC push_options
#pragma GCC target("sse2")

#include "des/des_sbox_circuits.h"
#include "des/des_bitslice_core.h"

namespace kulve::des {

namespace {
using Wide = std::uint64_t __attribute__((vector_size(16)));
}  // namespace

// Callers built by other compilers may keep the stack 4-byte aligned; the
// 16-byte vectors need it realigned on the way in.
__attribute__((force_align_arg_pointer)) void CryptBitslicedSse2(const std::uint8_t key[8], Direction direction,
                                                                  const std::uint8_t* in, std::uint8_t* out,
                                                                  std::size_t blocks) {
  CryptSliced<Wide>(key, direction, in, out, blocks);
}

}  // namespace kulve::des

#pragma GCC pop_options

#endif
