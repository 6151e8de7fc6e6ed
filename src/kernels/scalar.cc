// SPDX-License-Identifier: BSD-2-Clause
// One byte at a time: the kernel of every processor without a faster one,
// and the tail of the vector kernels.

#include "kernels/kernel.h"

namespace eolswap {

std::size_t convert_scalar(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style) {
  const unsigned char first = style == style_unix ? lf : cr;
  const bool pair = style == style_dos;
  std::size_t out_len = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = in[i];
    if (b == cr) {
      const int after = i + 1 < n ? in[i + 1] : next;
      if (after == lf) continue;
    }
    if (b == cr || b == lf) {
      out[out_len++] = first;
      if (pair) out[out_len++] = lf;
    } else {
      out[out_len++] = b;
    }
  }
  return out_len;
}

}  // namespace eolswap
