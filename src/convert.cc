// SPDX-License-Identifier: BSD-2-Clause
#include "convert.h"

#include <cstring>

#include "kernels/kernel.h"
#include "stream.h"

namespace eolswap {

std::size_t convert_bytes(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style) {
  return active_function(style)(in, n, next, out, style);
}

bool conversion_changes(const unsigned char* in, std::size_t n, int previous,
                        int next, BreakStyle style) {
  if (style == style_unix) return std::memchr(in, cr, n) != nullptr;
  if (style == style_mac) return std::memchr(in, lf, n) != nullptr;
  if (n == 0) return false;
  // DOS text is unchanged exactly when every CR is followed by LF and every
  // LF follows a CR: each byte is a CR just when the one after it is an LF.
  // The loop has no branch, so that the compiler can run it on vectors.
  unsigned mismatch = (previous == cr) != (in[0] == lf);
  for (std::size_t i = 0; i + 1 < n; ++i)
    mismatch |= static_cast<unsigned>((in[i] == cr) != (in[i + 1] == lf));
  mismatch |= static_cast<unsigned>((in[n - 1] == cr) != (next == lf));
  return mismatch != 0;
}

std::size_t convert_block(InputStream* input, const unsigned char* input_block,
                          std::size_t n, unsigned char* output_block,
                          BreakStyle style) {
  // Only a CR that ends the block needs the byte after it; reading that byte
  // for every block would cost a system call per block for nothing.
  const int next =
      n > 0 && input_block[n - 1] == cr ? peek_next_byte(input) : -1;
  return convert_bytes(input_block, n, next, output_block, style);
}

ConvertResult convert_stream(InputStream* input, const OutputStream& output,
                             unsigned char* input_block,
                             unsigned char* output_block, BreakStyle style) {
  for (;;) {
    const std::size_t n = read_block(input, input_block, input_block_size);
    if (n == 0) break;
    const std::size_t out_len =
        convert_block(input, input_block, n, output_block, style);
    if (!write_all(output, output_block, out_len)) {
      return ConvertResult::write_failed;
    }
  }
  return input->failed ? ConvertResult::read_failed : ConvertResult::done;
}

}  // namespace eolswap
