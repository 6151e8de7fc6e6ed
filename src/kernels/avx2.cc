// SPDX-License-Identifier: BSD-2-Clause
// The AVX2 kernel: branch-free packing and DOS expansion through pshufb
// tables, 32 bytes at a time, with loops of their own for text already in
// DOS form and for UNIX text to DOS.

#include "kernels/x86.h"

#if defined(EOLSWAP_WIDE_KERNELS)

namespace eolswap {
namespace {

using x86::dos_shuffles;
using x86::finish_dos;
using x86::pack_lane;

#define EOLSWAP_AVX2 __attribute__((target("avx2,popcnt")))

template <BreakStyle style>
EOLSWAP_AVX2 std::size_t pack_avx2(const unsigned char* in, std::size_t n,
                                   int next, unsigned char* out) {
  constexpr std::size_t width = 32;
  const __m256i v_cr = _mm256_set1_epi8(static_cast<char>(cr));
  const __m256i v_lf = _mm256_set1_epi8(static_cast<char>(lf));
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(cr ^ lf));
  std::size_t i = 0;
  std::size_t o = 0;
  while (i + width < n) {
    const __m256i x =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i is_cr = _mm256_cmpeq_epi8(x, v_cr);
    const __m256i is_lf = _mm256_cmpeq_epi8(x, v_lf);
    const auto crs = static_cast<std::uint32_t>(_mm256_movemask_epi8(is_cr));
    const auto lfs = static_cast<std::uint32_t>(_mm256_movemask_epi8(is_lf));
    const std::uint32_t lf_after = std::uint32_t{in[i + width] == lf}
                                   << (width - 1);
    const std::uint32_t keep = ~(crs & ((lfs >> 1) | lf_after));
    const __m256i broken = _mm256_xor_si256(
        x, _mm256_and_si256(style == style_unix ? is_cr : is_lf, flip));
    o += pack_lane(_mm256_castsi256_si128(broken), keep & 0xFFFF, out + o);
    o += pack_lane(_mm256_extracti128_si256(broken, 1), keep >> 16, out + o);
    i += width;
  }
  return o + convert_scalar(in + i, n - i, next, out + o, style);
}

// Text already in DOS form has no lone break at all: the AVX2 expansion
// copies chunks while that lasts, from *i on (not the first chunk, which has
// no byte before it), and stops at the first chunk with a lone break. The
// loops after it also keep going while their kind of text lasts; a choice
// made afresh for each chunk would be mispredicted about every other chunk
// on UNIX text.
EOLSWAP_AVX2 inline void copy_dos_prefix(const unsigned char* in, std::size_t n,
                                         std::size_t* i, std::size_t* o,
                                         unsigned char* out) {
  constexpr std::size_t width = 32;
  const __m256i v_cr = _mm256_set1_epi8(static_cast<char>(cr));
  const __m256i v_lf = _mm256_set1_epi8(static_cast<char>(lf));
  if (*i == 0) return;
  while (*i + width < n) {
    const unsigned char* p = in + *i;
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i after =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i before =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
    const __m256i lone =
        _mm256_or_si256(_mm256_andnot_si256(_mm256_cmpeq_epi8(after, v_lf),
                                            _mm256_cmpeq_epi8(x, v_cr)),
                        _mm256_andnot_si256(_mm256_cmpeq_epi8(before, v_cr),
                                            _mm256_cmpeq_epi8(x, v_lf)));
    if (!_mm256_testz_si256(lone, lone)) return;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + *o), x);
    *i += width;
    *o += width;
  }
}

// The shuffle of the given group of eight among 32 bytes whose lone breaks
// are the set bits of lone. A function, not a lambda in its caller: a lambda
// does not take its caller's target attribute, and without SSE a 16-byte
// vector can be neither loaded nor returned there.
EOLSWAP_AVX2 inline __m128i dos_row(std::uint32_t lone, unsigned group) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(
      dos_shuffles.row[(lone >> (8 * group)) & 0xFF]));
}

// The output of the 32 bytes s whose lone CRs are already LF, lone marking
// the lone breaks: stores 64 bytes at out and returns how many of them are
// output. Whatever the data, the same instructions run.
EOLSWAP_AVX2 inline std::size_t spread_dos_avx2(__m256i s, std::uint32_t lone,
                                                unsigned char* out) {
  const __m256i v_cr = _mm256_set1_epi8(static_cast<char>(cr));
  // Groups 0 and 2 of eight bytes, each followed by CRs, in the two lanes
  // of one vector, and groups 1 and 3 in another, so that one vpshufb
  // shuffles two groups.
  const __m256i groups02 = _mm256_unpacklo_epi64(s, v_cr);
  const __m256i groups13 = _mm256_unpackhi_epi64(s, v_cr);
  const __m256i out02 = _mm256_shuffle_epi8(
      groups02, _mm256_set_m128i(dos_row(lone, 2), dos_row(lone, 0)));
  const __m256i out13 = _mm256_shuffle_epi8(
      groups13, _mm256_set_m128i(dos_row(lone, 3), dos_row(lone, 1)));
  const auto size = [&](unsigned group) -> std::size_t {
    return dos_shuffles.size[(lone >> (8 * group)) & 0xFF];
  };
  std::size_t o = 0;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                   _mm256_castsi256_si128(out02));
  o += size(0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                   _mm256_castsi256_si128(out13));
  o += size(1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                   _mm256_extracti128_si256(out02, 1));
  o += size(2);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                   _mm256_extracti128_si256(out13, 1));
  return o + size(3);
}

// Converts the 32 bytes x, given the byte after each of them (after) and
// the byte before each (before), as spread_dos_avx2 does.
EOLSWAP_AVX2 inline std::size_t dos_chunk_avx2(__m256i x, __m256i after,
                                               __m256i before,
                                               unsigned char* out) {
  const __m256i v_cr = _mm256_set1_epi8(static_cast<char>(cr));
  const __m256i v_lf = _mm256_set1_epi8(static_cast<char>(lf));
  const __m256i lone_cr = _mm256_andnot_si256(_mm256_cmpeq_epi8(after, v_lf),
                                              _mm256_cmpeq_epi8(x, v_cr));
  const __m256i lone_lf = _mm256_andnot_si256(_mm256_cmpeq_epi8(before, v_cr),
                                              _mm256_cmpeq_epi8(x, v_lf));
  // Every lone break becomes LF, and the CR before it comes from the table.
  return spread_dos_avx2(_mm256_blendv_epi8(x, v_lf, lone_cr),
                         static_cast<std::uint32_t>(_mm256_movemask_epi8(
                             _mm256_or_si256(lone_cr, lone_lf))),
                         out);
}

EOLSWAP_AVX2 std::size_t expand_dos_avx2(const unsigned char* in, std::size_t n,
                                         int next, unsigned char* out) {
  constexpr std::size_t width = 32;
  std::size_t i = 0;
  std::size_t o = 0;
  // Whole chunks while a byte follows them. At most 2*i bytes precede
  // out+o, so the stores end within out[0..2*(i+32)).
  if (width < n) {
    // No byte precedes the block: the first chunk's own bytes shifted in
    // after a zero stand for the bytes before them.
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i before =
        _mm256_alignr_epi8(x, _mm256_permute2x128_si256(x, x, 0x08), 15);
    o += dos_chunk_avx2(
        x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 1)), before,
        out);
    i += width;
  }
  copy_dos_prefix(in, n, &i, &o, out);
  // UNIX text: while chunks hold no CR, every LF in them is lone, unless a
  // CR ends the chunk before the first of them.
  if (i == 0 || in[i - 1] != cr) {
    const __m256i v_cr = _mm256_set1_epi8(static_cast<char>(cr));
    const __m256i v_lf = _mm256_set1_epi8(static_cast<char>(lf));
    while (i + width < n) {
      const __m256i x =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
      if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, v_cr)) != 0) break;
      o += spread_dos_avx2(x,
                           static_cast<std::uint32_t>(_mm256_movemask_epi8(
                               _mm256_cmpeq_epi8(x, v_lf))),
                           out + o);
      i += width;
    }
  }
  while (i + width < n) {
    o += dos_chunk_avx2(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 1)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i - 1)),
        out + o);
    i += width;
  }
  return finish_dos(in, i, n, next, out, o);
}

}  // namespace

std::size_t convert_avx2(const unsigned char* in, std::size_t n, int next,
                         unsigned char* out, BreakStyle style) {
  return x86::by_style(pack_avx2<style_unix>, expand_dos_avx2,
                       pack_avx2<style_mac>, in, n, next, out, style);
}

}  // namespace eolswap

#endif  // EOLSWAP_WIDE_KERNELS
