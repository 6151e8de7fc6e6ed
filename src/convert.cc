#include "convert.h"

namespace eolswap {

const char* const style_names[4] = {"ERROR", "UNIX", "DOS", "Mac"};

std::size_t convert_bytes(const unsigned char* in, std::size_t n, int next,
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
