// SPDX-License-Identifier: BSD-2-Clause
// The kernel for every processor: plain C++ and the compiler's generic
// vectors, which become SSE2 on x86-64, NEON on ARM, and pieces of words
// where the processor has no vector unit.
//
// The input goes in chunks of 16 bytes. A chunk in which no byte changes is
// copied whole. In a chunk with a few changes, the bits of its change mask
// are walked in order: a change that keeps the output in step with the input
// is written over the copy, and one that drops or inserts a byte is written
// and followed by a fresh copy of the rest of the chunk, shifted to its new
// place. A chunk with many changes goes byte by byte without a branch on the
// data. The last 1 to 16 bytes go to convert_scalar.
//
// A CR LF pair gives CR LF in DOS whichever of its bytes is said to give the
// break, so there the chunks copy it as it stands and change only the lone
// breaks (a CR not followed by LF, an LF not preceded by CR). convert_scalar
// instead drops the CR and gives the pair from the LF; where the chunks end
// between the bytes of a pair, the CR they copied is taken back.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "kernels/kernel.h"
#include "line_break.h"

namespace eolswap {
namespace {

static_assert(std::endian::native == std::endian::little ||
                  std::endian::native == std::endian::big,
              "the masks assume bytes in plain little- or big-endian order");

constexpr std::size_t width = 16;

// Vector values never cross a function boundary: where the processor has no
// vector registers, passing one by value changes the calling convention.
using Vector = unsigned char __attribute__((vector_size(width)));

// The bytes of a chunk where something changes, 0xFF each (0 elsewhere), as
// two words holding its bytes 0 to 7 and 8 to 15 in memory order.
struct ByteMask {
  std::uint64_t low;
  std::uint64_t high;
};

// The changes among the 16 bytes at p, given the 16 bytes before each
// of them at before (DOS only). UNIX changes every CR: one before an LF is
// dropped, any other becomes LF. Mac changes every LF into CR and drops every
// CR before an LF. DOS changes the lone breaks, each of which gains the byte
// it lacks.
template <BreakStyle style>
inline ByteMask find_changes(const unsigned char* p,
                             const unsigned char* before) {
  Vector x;
  std::memcpy(&x, p, width);
  auto changed = x == cr;
  if constexpr (style == style_mac) {
    Vector after;
    std::memcpy(&after, p + 1, width);
    changed = (x == lf) | (changed & (after == lf));
  } else if constexpr (style == style_dos) {
    Vector after;
    Vector prior;
    std::memcpy(&after, p + 1, width);
    std::memcpy(&prior, before, width);
    changed = (changed & (after != lf)) | ((x == lf) & (prior != cr));
  }
  ByteMask mask;
  std::memcpy(&mask, &changed, sizeof mask);
  return mask;
}

// A word of a ByteMask with memory byte k in bits 8k to 8k+7.
inline std::uint64_t in_order(std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) {
    return __builtin_bswap64(word);
  }
  return word;
}

// One bit per byte of a word of a ByteMask, bit k for memory byte k.
inline unsigned word_bits(std::uint64_t word) {
  word = in_order(word);
  // The multiplication gathers the low bit of each byte into the top byte.
  return static_cast<unsigned>(
      ((word & 0x0101010101010101u) * 0x0102040810204080u) >> 56);
}

inline unsigned mask_bits(ByteMask mask) {
  return word_bits(mask.low) | word_bits(mask.high) << 8;
}

// Each change that shifts the output costs a fresh copy; past a few of them
// the byte loop is faster.
inline bool dense(unsigned bits) {
  bits &= bits - 1;
  bits &= bits - 1;
  bits &= bits - 1;
  return bits != 0;
}

// Converts the chunk at in, whose changes are the set bits of bits, to out
// and returns the count written. Reads in[0..32) and stores in out[0..35).
template <BreakStyle style>
inline std::size_t walk_changes(const unsigned char* in, unsigned bits,
                                unsigned char* out) {
  std::memcpy(out, in, width);
  // The output of in[from..] starts at dst, as far as it has been copied.
  unsigned char* dst = out;
  std::size_t from = 0;
  while (bits != 0) {
    const auto k = static_cast<std::size_t>(std::countr_zero(bits));
    bits &= bits - 1;
    unsigned char* at = dst + (k - from);
    if constexpr (style == style_dos) {
      at[0] = cr;
      at[1] = lf;
      dst = at + 2;
    } else if ((style == style_unix && in[k + 1] != lf) ||
               (style == style_mac && in[k] == lf)) {
      *at = style == style_unix ? lf : cr;
      continue;
    } else {
      dst = at;  // a CR before LF, dropped
    }
    from = k + 1;
    std::memcpy(dst, in + from, width);
  }
  return static_cast<std::size_t>(dst - out) + (width - from);
}

// Converts the chunk at in, whose changes mask gives, to out and returns the
// count written, without a branch on the data: each byte is stored, and the
// output position moves on by the count it gives. Reads in[0..17) and stores
// in out[0..32).
template <BreakStyle style>
inline std::size_t convert_dense(const unsigned char* in, ByteMask mask,
                                 unsigned char* out) {
  std::size_t o = 0;
  if constexpr (style == style_dos) {
    // Each byte gives one or two: the prefix sums of those counts, byte by
    // byte in a word, place every byte's output independently of the
    // others. A lone break gives CR LF in one two-byte store; any other byte
    // gives itself and a zero that the next store overwrites.
    constexpr bool little = std::endian::native == std::endian::little;
    constexpr std::uint16_t pair = little ? cr | lf << 8 : cr << 8 | lf;
    constexpr std::uint64_t ones = 0x0101010101010101u;
    // A run of blank lines: every byte is a lone break and gives CR LF.
    if ((mask.low & mask.high) == ~std::uint64_t{0}) {
      unsigned char pairs[2 * width] = {};
      for (std::size_t k = 0; k < 2 * width; k += 2) {
        pairs[k] = cr;
        pairs[k + 1] = lf;
      }
      std::memcpy(out, pairs, 2 * width);
      return 2 * width;
    }
    for (const std::uint64_t word : {mask.low, mask.high}) {
      const std::uint64_t lone = in_order(word) & ones;
      const std::uint64_t counts = ones + lone;
      const std::uint64_t starts = counts * ones - counts;
      for (unsigned k = 0; k < 8; ++k) {
        const unsigned char b = in[k];
        const auto alone = static_cast<std::uint16_t>(little ? b : b << 8);
        const std::uint16_t two = (lone >> (8 * k)) & 1 ? pair : alone;
        const auto start = static_cast<std::size_t>((starts >> (8 * k)) & 0xFF);
        std::memcpy(out + o + start, &two, 2);
      }
      o += static_cast<std::size_t>((counts * ones) >> 56);
      in += 8;
    }
  } else {
    const unsigned bits = mask_bits(mask);
    for (std::size_t k = 0; k < width; ++k) {
      const unsigned change = (bits >> k) & 1;
      const unsigned char b = in[k];
      if constexpr (style == style_unix) {
        out[o] = change != 0 ? lf : b;
        o += 1 - (change & unsigned{in[k + 1] == lf});
      } else {
        out[o] = change != 0 ? cr : b;
        o += 1 - (change & unsigned{b == cr});
      }
    }
  }
  return o;
}

template <BreakStyle style>
std::size_t convert_style(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out) {
  std::size_t i = 0;
  std::size_t o = 0;
  // No byte precedes the block, so an LF opening it is lone: a zero stands
  // for the byte before.
  unsigned char first_before[width] = {};
  if (n > width) std::memcpy(first_before + 1, in, width - 1);
  // At most 2*i bytes precede out+o, so every store below ends within
  // out[0..2*(i+32)), and while a whole chunk follows this one the copies
  // of its shifted rest read only the input.
  while (i + 2 * width <= n) {
    const ByteMask mask =
        find_changes<style>(in + i, i == 0 ? first_before : in + i - 1);
    if ((mask.low | mask.high) == 0) {
      std::memcpy(out + o, in + i, width);
      o += width;
    } else if (const unsigned bits = mask_bits(mask); dense(bits)) {
      o += convert_dense<style>(in + i, mask, out + o);
    } else {
      o += walk_changes<style>(in + i, bits, out + o);
    }
    i += width;
  }
  // The last chunk that one more byte follows.
  if (i + width < n) {
    const ByteMask mask =
        find_changes<style>(in + i, i == 0 ? first_before : in + i - 1);
    if ((mask.low | mask.high) == 0) {
      std::memcpy(out + o, in + i, width);
      o += width;
    } else {
      o += convert_dense<style>(in + i, mask, out + o);
    }
    i += width;
  }
  if constexpr (style == style_dos) {
    if (i > 0 && i < n && in[i - 1] == cr && in[i] == lf) --o;
  }
  return o + convert_scalar(in + i, n - i, next, out + o, style);
}

}  // namespace

std::size_t convert_portable(const unsigned char* in, std::size_t n, int next,
                             unsigned char* out, BreakStyle style) {
  switch (style) {
    case style_unix:
      return convert_style<style_unix>(in, n, next, out);
    case style_dos:
      return convert_style<style_dos>(in, n, next, out);
    case style_mac:
      return convert_style<style_mac>(in, n, next, out);
    default:
      return convert_scalar(in, n, next, out, style);
  }
}

}  // namespace eolswap
