// The SSE2 kernel: a 16-byte scan that copies chunks without a change
// whole, and goes byte by byte through chunks dense with them.

#include "kernels/x86.h"

#if defined(EOLSWAP_X86_KERNELS)

namespace eolswap {
namespace {

// The scanning kernels copy each chunk whole and then handle the first byte
// whose output differs from the byte itself ("a change"), resuming just
// after it. A change is always CR or LF; it gives one break, and a CR LF pair
// is taken whole. For DOS a CR LF pair inside a chunk is no change at all,
// but one whose LF opens the next chunk is, so that the scan never resumes
// between a CR it has copied and the LF that completes it.
inline void take_change(const unsigned char* in, std::size_t* i,
                        unsigned char* out, std::size_t* o, BreakStyle style) {
  const bool pair = in[*i] == cr && in[*i + 1] == lf;
  *i += pair ? 2 : 1;
  if (style == style_dos) {
    out[*o] = cr;
    out[*o + 1] = lf;
    *o += 2;
  } else {
    out[*o] = style == style_unix ? lf : cr;
    *o += 1;
  }
}

// The changes among the chunk's bytes, one bit per byte, from the masks of
// its CRs, its LFs and the bytes followed by LF. top is the chunk's last bit.
inline std::uint32_t changes(std::uint32_t is_cr, std::uint32_t is_lf,
                             std::uint32_t next_lf, std::uint32_t top,
                             BreakStyle style) {
  switch (style) {
    case style_unix:
      return is_cr;
    case style_mac:
      return is_lf | (is_cr & next_lf);
    default:
      return (is_cr & (~next_lf | top)) | (is_lf & ~(is_cr << 1));
  }
}

// Each resumption waits for the load, compare and bit scan before it, some
// twenty cycles; a chunk with more than two changes goes byte by byte
// instead, which the processor pipelines. The byte loop drops a CR that ends
// the chunk before an LF, and that LF is then a change at the start of the
// next chunk, so the two ways of working mix freely.
inline bool dense(std::uint32_t m) {
  m &= m - 1;
  m &= m - 1;
  return m != 0;
}

template <BreakStyle style>
__attribute__((target("sse2"))) std::size_t scan_sse2(const unsigned char* in,
                                                      std::size_t n, int next,
                                                      unsigned char* out) {
  constexpr std::size_t width = 16;
  const __m128i v_cr = _mm_set1_epi8(static_cast<char>(cr));
  const __m128i v_lf = _mm_set1_epi8(static_cast<char>(lf));
  std::size_t i = 0;
  std::size_t o = 0;
  while (i + width < n) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i after =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
    const std::uint32_t is_cr =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v_cr)));
    const std::uint32_t is_lf =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v_lf)));
    const std::uint32_t next_lf = static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(after, v_lf)));
    const std::uint32_t m =
        changes(is_cr, is_lf, next_lf, 1u << (width - 1), style);
    if (m == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), x);
      i += width;
      o += width;
      continue;
    }
    if (dense(m)) {
      o += convert_scalar(in + i, width, in[i + width], out + o, style);
      i += width;
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), x);
    const unsigned skip = static_cast<unsigned>(__builtin_ctz(m));
    i += skip;
    o += skip;
    take_change(in, &i, out, &o, style);
  }
  return o + convert_scalar(in + i, n - i, next, out + o, style);
}

}  // namespace

std::size_t convert_sse2(const unsigned char* in, std::size_t n, int next,
                         unsigned char* out, BreakStyle style) {
  return x86::by_style(scan_sse2<style_unix>, scan_sse2<style_dos>,
                       scan_sse2<style_mac>, in, n, next, out, style);
}

}  // namespace eolswap

#endif  // EOLSWAP_X86_KERNELS
