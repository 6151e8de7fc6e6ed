// The SSSE3 kernel: branch-free packing and DOS expansion through the
// pshufb tables, 16 bytes at a time.

#include "kernels/x86.h"

#if defined(EOLSWAP_X86_KERNELS)

namespace eolswap {
namespace {

using x86::dos_shuffles;
using x86::finish_dos;
using x86::pack_lane;

// The output of the 16 bytes s whose lone CRs are already LF, lone marking
// the lone breaks: stores 32 bytes at out and returns how many of them are
// output.
EOLSWAP_SSSE3 inline std::size_t spread_dos_lane(__m128i s, unsigned lone,
                                                 unsigned char* out) {
  const __m128i v_cr = _mm_set1_epi8(static_cast<char>(cr));
  const unsigned low = lone & 0xFF;
  const unsigned high = lone >> 8;
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out),
      _mm_shuffle_epi8(_mm_unpacklo_epi64(s, v_cr),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(
                           dos_shuffles.row[low]))));
  const std::size_t low_count = dos_shuffles.size[low];
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out + low_count),
      _mm_shuffle_epi8(_mm_unpackhi_epi64(s, v_cr),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(
                           dos_shuffles.row[high]))));
  return low_count + dos_shuffles.size[high];
}

template <BreakStyle style>
EOLSWAP_SSSE3 std::size_t pack_ssse3(const unsigned char* in, std::size_t n,
                                     int next, unsigned char* out) {
  constexpr std::size_t width = 16;
  const __m128i v_cr = _mm_set1_epi8(static_cast<char>(cr));
  const __m128i v_lf = _mm_set1_epi8(static_cast<char>(lf));
  const __m128i flip = _mm_set1_epi8(static_cast<char>(cr ^ lf));
  std::size_t i = 0;
  std::size_t o = 0;
  while (i + width < n) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i is_cr = _mm_cmpeq_epi8(x, v_cr);
    const __m128i is_lf = _mm_cmpeq_epi8(x, v_lf);
    const auto crs = static_cast<unsigned>(_mm_movemask_epi8(is_cr));
    const auto lfs = static_cast<unsigned>(_mm_movemask_epi8(is_lf));
    const unsigned lf_after = unsigned{in[i + width] == lf} << (width - 1);
    const unsigned keep = ~(crs & ((lfs >> 1) | lf_after)) & 0xFFFF;
    o += pack_lane(
        _mm_xor_si128(x,
                      _mm_and_si128(style == style_unix ? is_cr : is_lf, flip)),
        keep, out + o);
    i += width;
  }
  return o + convert_scalar(in + i, n - i, next, out + o, style);
}

// Converts the 16 bytes x, given the byte after each of them (after) and
// the byte before each (before), as spread_dos_lane does.
EOLSWAP_SSSE3 inline std::size_t dos_lane(__m128i x, __m128i after,
                                          __m128i before, unsigned char* out) {
  const __m128i v_cr = _mm_set1_epi8(static_cast<char>(cr));
  const __m128i v_lf = _mm_set1_epi8(static_cast<char>(lf));
  const __m128i lone_cr =
      _mm_andnot_si128(_mm_cmpeq_epi8(after, v_lf), _mm_cmpeq_epi8(x, v_cr));
  const __m128i lone_lf =
      _mm_andnot_si128(_mm_cmpeq_epi8(before, v_cr), _mm_cmpeq_epi8(x, v_lf));
  // Every lone break becomes LF, and the CR before it comes from the table.
  const __m128i s =
      _mm_or_si128(_mm_andnot_si128(lone_cr, x), _mm_and_si128(lone_cr, v_lf));
  return spread_dos_lane(
      s,
      static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(lone_cr, lone_lf))),
      out);
}

EOLSWAP_SSSE3 std::size_t expand_dos_ssse3(const unsigned char* in,
                                           std::size_t n, int next,
                                           unsigned char* out) {
  constexpr std::size_t width = 16;
  const __m128i v_cr = _mm_set1_epi8(static_cast<char>(cr));
  const __m128i v_lf = _mm_set1_epi8(static_cast<char>(lf));
  std::size_t i = 0;
  std::size_t o = 0;
  // Whole chunks while a byte follows them. At most 2*i bytes precede
  // out+o, so the stores end within out[0..2*(i+16)).
  if (width < n) {
    // No byte precedes the block: a zero stands for it.
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    o += dos_lane(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 1)),
                  _mm_slli_si128(x, 1), out);
    i += width;
  }
  // UNIX text: while chunks hold no CR, every LF in them is lone, unless a
  // CR ends the chunk before the first of them.
  if (i > 0 && in[i - 1] != cr) {
    while (i + width < n) {
      const __m128i x =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, v_cr)) != 0) break;
      o += spread_dos_lane(
          x, static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v_lf))),
          out + o);
      i += width;
    }
  }
  while (i + width < n) {
    o += dos_lane(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)),
                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1)),
                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - 1)),
                  out + o);
    i += width;
  }
  return finish_dos(in, i, n, next, out, o);
}

}  // namespace

std::size_t convert_ssse3(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style) {
  return x86::by_style(pack_ssse3<style_unix>, expand_dos_ssse3,
                       pack_ssse3<style_mac>, in, n, next, out, style);
}

}  // namespace eolswap

#endif  // EOLSWAP_X86_KERNELS
