// SPDX-License-Identifier: BSD-2-Clause
// The AVX-512 kernel: 64-byte chunks, vpcompressb for UNIX and Mac,
// vpexpandb for DOS, and a masked tail instead of a scalar one.

#include "kernels/x86.h"

#if defined(EOLSWAP_AVX512_KERNEL)

namespace eolswap {
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
  return x86::by_style(pack_avx512<style_unix>, expand_dos_avx512,
                       pack_avx512<style_mac>, in, n, next, out, style);
}

}  // namespace eolswap

#endif  // EOLSWAP_AVX512_KERNEL
