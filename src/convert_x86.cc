// Vector kernels for x86 processors. Each kernel is compiled for its own
// instruction set through a target attribute and chosen at run time, so a
// build for plain x86-64 (SSE2) still uses AVX2 or AVX-512 where present.
//
// A vector loop runs only while one more byte follows its chunk, so that the
// byte after each position can be loaded from the input itself, and most
// kernels leave the last bytes of the input to convert_scalar. The rule is
// local (each byte's output depends on the byte and the one after it), so
// splitting the work anywhere gives the same bytes. The DOS expansions below
// look at the byte before as well, and say how they meet the block's edges.

#include "convert_kernel.h"

#if defined(EOLSWAP_X86_KERNELS)

#include <immintrin.h>

#include <cstdint>

namespace eolswap {

bool x86_kernel_available(Kernel kernel) {
  __builtin_cpu_init();
  switch (kernel) {
    case Kernel::sse2:
      return __builtin_cpu_supports("sse2");
    case Kernel::ssse3:
      return __builtin_cpu_supports("ssse3") &&
             __builtin_cpu_supports("popcnt");
#if defined(EOLSWAP_WIDE_KERNELS)
    case Kernel::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#endif
#if defined(EOLSWAP_WIDE_KERNELS) && defined(__x86_64__)
    case Kernel::avx512:
      return __builtin_cpu_supports("avx512f") &&
             __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512vbmi2") &&
             __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#endif
    default:
      return false;
  }
}

namespace {

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
  return by_style(scan_sse2<style_unix>, scan_sse2<style_dos>,
                  scan_sse2<style_mac>, in, n, next, out, style);
}

namespace {

#define EOLSWAP_SSSE3 __attribute__((target("ssse3,popcnt")))

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

constexpr PackShuffles pack_shuffles = make_pack_shuffles();

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

// DOS without AVX-512: the same expansion as expand_dos_avx512 below (see
// there), eight input bytes at a time through pshufb. Row m of the table
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

constexpr DosShuffles dos_shuffles = make_dos_shuffles();

// Ends a DOS expansion whose chunks stopped at in[i] and out[o], with
// convert_scalar. That gives an LF after a CR the whole pair CR LF, so the
// CR that the chunks copied before it goes.
inline std::size_t finish_dos(const unsigned char* in, std::size_t i,
                              std::size_t n, int next, unsigned char* out,
                              std::size_t o) {
  if (i > 0 && in[i - 1] == cr && in[i] == lf) --o;
  return o + convert_scalar(in + i, n - i, next, out + o, style_dos);
}

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
  return by_style(pack_ssse3<style_unix>, expand_dos_ssse3,
                  pack_ssse3<style_mac>, in, n, next, out, style);
}

#undef EOLSWAP_SSSE3

#if defined(EOLSWAP_WIDE_KERNELS)

namespace {

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
  const auto row = [&](unsigned group) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(
        dos_shuffles.row[(lone >> (8 * group)) & 0xFF]));
  };
  const __m256i out02 =
      _mm256_shuffle_epi8(groups02, _mm256_set_m128i(row(2), row(0)));
  const __m256i out13 =
      _mm256_shuffle_epi8(groups13, _mm256_set_m128i(row(3), row(1)));
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
  return by_style(pack_avx2<style_unix>, expand_dos_avx2, pack_avx2<style_mac>,
                  in, n, next, out, style);
}

#undef EOLSWAP_AVX2

#endif  // EOLSWAP_WIDE_KERNELS

#if defined(EOLSWAP_WIDE_KERNELS) && defined(__x86_64__)

namespace {

// GCC 12's headers build some AVX-512 casts and extracts from deliberately
// undefined vectors, which -Wmaybe-uninitialized takes for a fault.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define EOLSWAP_AVX512 \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt")))

// The CRs and LFs of a 64-byte chunk, one bit per byte.
struct Breaks {
  std::uint64_t cr;
  std::uint64_t lf;
};

EOLSWAP_AVX512 inline Breaks find_breaks(__m512i x) {
  return {_mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(static_cast<char>(cr))),
          _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(static_cast<char>(lf)))};
}

// The last 1 to 64 bytes of a block go through the same code as a whole
// chunk, with a masked load and store that touch nothing outside in[0..n)
// and the bytes they give; a scalar tail would cost a tenth of the block.
inline std::uint64_t first_bits(std::size_t count) {
  return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

// UNIX and Mac: each byte gives at most one byte. In every 64-byte chunk the
// breaks are overwritten with the target byte, and the CRs that an LF
// follows are packed out of the vector; no branch depends on the data.
// lf_after has the bit of the chunk's last byte set when an LF follows it.
template <BreakStyle style>
EOLSWAP_AVX512 inline __m512i pack_chunk(__m512i x, std::uint64_t lf_after,
                                         std::uint64_t* keep) {
  const Breaks b = find_breaks(x);
  *keep = ~(b.cr & ((b.lf >> 1) | lf_after));
  const __m512i broken = _mm512_mask_mov_epi8(
      x, style == style_unix ? b.cr : b.lf,
      _mm512_set1_epi8(static_cast<char>(style == style_unix ? lf : cr)));
  return _mm512_maskz_compress_epi8(*keep, broken);
}

template <BreakStyle style>
EOLSWAP_AVX512 std::size_t pack_avx512(const unsigned char* in, std::size_t n,
                                       int next, unsigned char* out) {
  constexpr std::size_t width = 64;
  std::size_t i = 0;
  std::size_t o = 0;
  std::uint64_t keep = 0;
  while (i + width < n) {
    const __m512i packed = pack_chunk<style>(
        _mm512_loadu_si512(in + i),
        std::uint64_t{in[i + width] == lf} << (width - 1), &keep);
    _mm512_storeu_si512(out + o, packed);
    o += static_cast<std::size_t>(__builtin_popcountll(keep));
    i += width;
  }
  const std::size_t len = n - i;
  if (len == 0) return o;
  const std::uint64_t valid = first_bits(len);
  const __m512i packed =
      pack_chunk<style>(_mm512_maskz_loadu_epi8(valid, in + i),
                        next == lf ? std::uint64_t{1} << (len - 1) : 0, &keep);
  const auto count =
      static_cast<std::size_t>(__builtin_popcountll(keep & valid));
  _mm512_mask_storeu_epi8(out + o, first_bits(count), packed);
  return o + count;
}

// DOS: inside a block the output is a pure expansion of the input. A CR LF
// pair gives CR LF whichever of its bytes is said to give the break, so it
// is copied as it stands, and so is every other byte except a "lone" break
// (a CR not followed by LF, or an LF not preceded by CR), which becomes
// CR LF. Two edges differ: an LF opening the block is lone (the block before
// dropped its CR, if it ended in one), and a CR ending the block before an
// LF gives nothing.
//
// The positions in the output of 32 input bytes that receive the bytes
// themselves (the others receive the CR inserted before a lone break): each
// input byte owns two slots, an inserted CR, used when the byte is lone, and
// the byte itself; packing the used slots gives the output order.
EOLSWAP_AVX512 inline std::uint64_t own_positions(std::uint32_t lone) {
  const std::uint64_t used =
      _pdep_u64(lone, 0x5555555555555555u) | 0xAAAAAAAAAAAAAAAAu;
  return _pext_u64(0xAAAAAAAAAAAAAAAAu, used);
}

// The 32 + popcount(lone) output bytes of 32 input bytes s whose lone CRs
// are already LF: vpexpandb spreads s over its own positions and the CR
// fill supplies the rest. It reads only the first 32 bytes of its source.
EOLSWAP_AVX512 inline __m512i spread_dos(__m256i s, std::uint32_t lone) {
  return _mm512_mask_expand_epi8(_mm512_set1_epi8(static_cast<char>(cr)),
                                 own_positions(lone),
                                 _mm512_castsi256_si512(s));
}

// The output of a 64-byte chunk s whose lone CRs are already LF, 32 input
// bytes to a store: stores 128 bytes at out and returns how many of them
// are output.
EOLSWAP_AVX512 inline std::size_t expand_chunk(__m512i s, std::uint64_t lone,
                                               unsigned char* out) {
  const auto low = static_cast<std::uint32_t>(lone);
  const auto high = static_cast<std::uint32_t>(lone >> 32);
  const std::size_t low_count =
      32 + static_cast<std::size_t>(__builtin_popcount(low));
  _mm512_storeu_si512(out, spread_dos(_mm512_castsi512_si256(s), low));
  _mm512_storeu_si512(out + low_count,
                      spread_dos(_mm512_extracti64x4_epi64(s, 1), high));
  return 64 + static_cast<std::size_t>(__builtin_popcountll(lone));
}

// The lone breaks of a chunk, and the chunk with its lone CRs made LF, so
// that only a CR needs inserting before each lone break. lf_after has the
// bit of the chunk's last byte set when an LF follows it, cr_before bit 0
// when a CR precedes it.
struct Lone {
  __m512i bytes;
  std::uint64_t breaks;
};

EOLSWAP_AVX512 inline Lone lone_breaks(__m512i x, const Breaks& b,
                                       std::uint64_t lf_after,
                                       std::uint64_t cr_before) {
  const std::uint64_t lone_cr = b.cr & ~((b.lf >> 1) | lf_after);
  const std::uint64_t lone_lf = b.lf & ~((b.cr << 1) | cr_before);
  return {
      _mm512_mask_mov_epi8(x, lone_cr, _mm512_set1_epi8(static_cast<char>(lf))),
      lone_cr | lone_lf};
}

EOLSWAP_AVX512 std::size_t expand_dos_avx512(const unsigned char* in,
                                             std::size_t n, int next,
                                             unsigned char* out) {
  constexpr std::size_t width = 64;
  std::size_t i = 0;
  std::size_t o = 0;
  std::uint64_t cr_before = 0;  // an LF opening the block is lone
  // Text already in DOS form has no lone break at all: chunks are copied
  // while that lasts. Each loop below keeps going while its kind of text
  // lasts, and the last one takes anything; a choice made afresh for each
  // chunk would be mispredicted about every other chunk on UNIX text.
  while (i + width < n) {
    const __m512i x = _mm512_loadu_si512(in + i);
    const Breaks b = find_breaks(x);
    if (lone_breaks(x, b, std::uint64_t{in[i + width] == lf} << (width - 1),
                    cr_before)
            .breaks != 0)
      break;
    _mm512_storeu_si512(out + o, x);
    cr_before = b.cr >> (width - 1);
    i += width;
    o += width;
  }
  // From here on whole chunks go out while a byte follows them. At most
  // 2*i bytes precede out+o, so the stores end within out[0..2*n).
  //
  // UNIX text: while chunks hold no CR, every LF in them is lone (an LF
  // opening the block is lone, and so is one after a chunk without CR),
  // and no CR needs replacing.
  if (cr_before == 0) {
    const __m512i v_cr = _mm512_set1_epi8(static_cast<char>(cr));
    const __m512i v_lf = _mm512_set1_epi8(static_cast<char>(lf));
    while (i + width < n) {
      const __m512i x = _mm512_loadu_si512(in + i);
      if (_mm512_cmpeq_epi8_mask(x, v_cr) != 0) break;
      o += expand_chunk(x, _mm512_cmpeq_epi8_mask(x, v_lf), out + o);
      i += width;
    }
  }
  // Anything else.
  while (i + width < n) {
    const __m512i x = _mm512_loadu_si512(in + i);
    const Breaks b = find_breaks(x);
    const Lone l = lone_breaks(
        x, b, std::uint64_t{in[i + width] == lf} << (width - 1), cr_before);
    cr_before = b.cr >> (width - 1);
    o += expand_chunk(l.bytes, l.breaks, out + o);
    i += width;
  }
  const std::size_t len = n - i;
  if (len == 0) return o;
  const std::uint64_t valid = first_bits(len);
  const __m512i x = _mm512_maskz_loadu_epi8(valid, in + i);
  const Breaks b = find_breaks(x);
  const std::uint64_t top = std::uint64_t{1} << (len - 1);
  const Lone l = lone_breaks(x, b, next == lf ? top : 0, cr_before);
  const auto low = static_cast<std::uint32_t>(l.breaks);
  const auto high = static_cast<std::uint32_t>(l.breaks >> 32);
  const std::size_t low_count =
      static_cast<std::size_t>(
          __builtin_popcount(static_cast<std::uint32_t>(valid))) +
      static_cast<std::size_t>(__builtin_popcount(low));
  // A final CR before the LF that opens the next block is no lone break; it
  // was copied last, and goes again.
  const std::size_t count =
      len + static_cast<std::size_t>(__builtin_popcountll(l.breaks)) -
      (next == lf && (b.cr & top) ? 1 : 0);
  const std::size_t low_stored = low_count < count ? low_count : count;
  _mm512_mask_storeu_epi8(out + o, first_bits(low_stored),
                          spread_dos(_mm512_castsi512_si256(l.bytes), low));
  _mm512_mask_storeu_epi8(
      out + o + low_stored, first_bits(count - low_stored),
      spread_dos(_mm512_extracti64x4_epi64(l.bytes, 1), high));
  return o + count;
}

#undef EOLSWAP_AVX512

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

std::size_t convert_avx512(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style) {
  return by_style(pack_avx512<style_unix>, expand_dos_avx512,
                  pack_avx512<style_mac>, in, n, next, out, style);
}

#endif  // EOLSWAP_WIDE_KERNELS && __x86_64__

}  // namespace eolswap

#endif  // EOLSWAP_X86_KERNELS
