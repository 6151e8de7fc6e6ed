// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_LINE_BREAK_H_
#define EOLSWAP_LINE_BREAK_H_

// The vocabulary of line breaks that every part of the program shares: the
// target conventions, the two line-break bytes and the block sizes.

#include <cstddef>

namespace eolswap {

// The target convention. 0 is reserved; no option selects it.
enum BreakStyle : int {
  style_none = 0,
  style_unix = 1,  // LF
  style_dos = 2,   // CR LF
  style_mac = 3,   // CR
};

// Display names indexed by BreakStyle.
inline constexpr const char* style_names[4] = {"ERROR", "UNIX", "DOS", "Mac"};

constexpr unsigned char cr = 0x0D;
constexpr unsigned char lf = 0x0A;

constexpr std::size_t input_block_size = 4096;
// One input block of nothing but line-break bytes, converted to DOS, fills
// the output block exactly, so no block can overflow it.
constexpr std::size_t output_block_size = 2 * input_block_size;

}  // namespace eolswap

#endif  // EOLSWAP_LINE_BREAK_H_
