// SPDX-License-Identifier: MIT
#include "des/des_bitslice.h"

#if KULVE_DES_SSE2_AT_RUN_TIME
#include <cpuid.h>
#else
#include "des/des_bitslice_core.h"
#endif

namespace kulve::des {

#if defined(__GNUC__) && defined(__SSE2__)

// A compiler vector of two 64-bit lanes: SSE2 registers, named nowhere.
using Wide = std::uint64_t __attribute__((vector_size(16)));

std::size_t BitslicedBatch() { return 128; }

void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks) {
  CryptSliced<Wide>(key, direction, in, out, blocks);
}

#elif KULVE_DES_SSE2_AT_RUN_TIME

namespace {

bool HasSse2() {
  // Asked once; the answer never changes while the program runs.
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (d & bit_SSE2) != 0;
  }();
  return has;
}

}  // namespace

std::size_t BitslicedBatch() { return HasSse2() ? 128 : 0; }

void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks) {
  CryptBitslicedSse2(key, direction, in, out, blocks);
}

#elif UINTPTR_MAX > 0xFFFFFFFFu

std::size_t BitslicedBatch() { return 64; }

void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks) {
  CryptSliced<std::uint64_t>(key, direction, in, out, blocks);
}

#else

std::size_t BitslicedBatch() { return 0; }

void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks) {
  CryptSliced<std::uint64_t>(key, direction, in, out, blocks);
}

#endif

}  // namespace kulve::des
