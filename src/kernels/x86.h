// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_KERNELS_X86_H_
#define EOLSWAP_KERNELS_X86_H_

// What the x86 kernels share: the choice of a function by target style, the
// pshufb tables and the 16-byte packing. Each kernel's file compiles its
// own functions for its own instruction set through a target attribute, so
// a build for the plain x86 baseline still uses the wider ones where the
// processor has them; the helpers here carry the attribute of the narrowest
// kernel that uses them, and inline into the wider ones.
//
// A vector loop runs only while one more byte follows its chunk, so that the
// byte after each position can be loaded from the input itself, and most
// kernels leave the last bytes of the input to convert_scalar. The rule is
// local (each byte's output depends on the byte and the one after it), so
// splitting the work anywhere gives the same bytes. The DOS expansions look
// at the byte before as well, and say how they meet the block's edges.

#include "kernels/kernel.h"

#if defined(EOLSWAP_X86_KERNELS)

#include <immintrin.h>

#include <cstdint>

namespace eolswap::x86 {

#define EOLSWAP_SSSE3 __attribute__((target("ssse3,popcnt")))

// Calls the kernel's function for the target style.
using StyleKernel = std::size_t (*)(const unsigned char*, std::size_t, int,
                                    unsigned char*);
inline std::size_t by_style(StyleKernel to_unix, StyleKernel to_dos,
                            StyleKernel to_mac, const unsigned char* in,
                            std::size_t n, int next, unsigned char* out,
                            BreakStyle style) {
  switch (style) {
    case style_unix:
      return to_unix(in, n, next, out);
    case style_dos:
      return to_dos(in, n, next, out);
    case style_mac:
      return to_mac(in, n, next, out);
    default:
      return convert_scalar(in, n, next, out, style);
  }
}

// UNIX and Mac without AVX-512, which alone has a byte compress: in every chunk
// the breaks are made the target's byte, and each group of eight bytes is
// packed by a pshufb whose control comes from a table indexed by the bytes
// that stay, then stored whole where the group before it ended. No branch
// depends on the data: after each system call the branch predictor has
// forgotten the text, and a scan that branches on every break loses more
// than it saves on chunks without one.
struct PackShuffles {
  // Row m packs the bytes of a group whose set bits in m stay, for the
  // group in the lane's low half; high[m] does the same for its high half.
  alignas(8) unsigned char low[256][8];
  alignas(8) unsigned char high[256][8];
};

constexpr PackShuffles make_pack_shuffles() {
  PackShuffles table{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned o = 0;
    for (unsigned k = 0; k < 8; ++k) {
      if (m & (1u << k)) {
        table.low[m][o] = static_cast<unsigned char>(k);
        table.high[m][o] = static_cast<unsigned char>(8 + k);
        ++o;
      }
    }
    for (; o < 8; ++o) table.low[m][o] = table.high[m][o] = 0x80;  // zero
  }
  return table;
}

inline constexpr PackShuffles pack_shuffles = make_pack_shuffles();

// Packs the two groups of eight in lane by keep (eight bits each) to out,
// storing 16 bytes at most; returns the count kept.
EOLSWAP_SSSE3 inline std::size_t pack_lane(__m128i lane, unsigned keep,
                                           unsigned char* out) {
  const unsigned low = keep & 0xFF;
  const unsigned high = keep >> 8;
  const __m128i control = _mm_unpacklo_epi64(
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pack_shuffles.low[low])),
      _mm_loadl_epi64(
          reinterpret_cast<const __m128i*>(pack_shuffles.high[high])));
  const __m128i packed = _mm_shuffle_epi8(lane, control);
  const auto low_count = static_cast<std::size_t>(__builtin_popcount(low));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
  _mm_storeh_pi(reinterpret_cast<__m64*>(out + low_count),
                _mm_castsi128_ps(packed));
  return low_count + static_cast<std::size_t>(__builtin_popcount(high));
}

// DOS without AVX-512: the same expansion as expand_dos_avx512 (see
// avx512.cc), eight input bytes at a time through pshufb. Row m of the table
// shuffles a 16-byte source holding 8 input bytes and then 8 CRs into their
// output when the lone breaks among them are the set bits of m: a lone byte
// takes a CR (source byte 8) before itself.
struct DosShuffles {
  alignas(16) unsigned char row[256][16];
  unsigned char size[256];  // the output count, 8 + popcount(m)
};

constexpr DosShuffles make_dos_shuffles() {
  DosShuffles table{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned o = 0;
    for (unsigned k = 0; k < 8; ++k) {
      if (m & (1u << k)) table.row[m][o++] = 8;
      table.row[m][o++] = static_cast<unsigned char>(k);
    }
    table.size[m] = static_cast<unsigned char>(o);
    while (o < 16) table.row[m][o++] = 8;
  }
  return table;
}

inline constexpr DosShuffles dos_shuffles = make_dos_shuffles();

// Ends a DOS expansion whose chunks stopped at in[i] and out[o], with
// convert_scalar. That gives an LF after a CR the whole pair CR LF, so the
// CR that the chunks copied before it goes.
inline std::size_t finish_dos(const unsigned char* in, std::size_t i,
                              std::size_t n, int next, unsigned char* out,
                              std::size_t o) {
  if (i > 0 && in[i - 1] == cr && in[i] == lf) --o;
  return o + convert_scalar(in + i, n - i, next, out + o, style_dos);
}

}  // namespace eolswap::x86

#endif  // EOLSWAP_X86_KERNELS

#endif  // EOLSWAP_KERNELS_X86_H_
