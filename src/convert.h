// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_CONVERT_H_
#define EOLSWAP_CONVERT_H_

#include <cstddef>

#include "line_break.h"

namespace eolswap {

struct InputStream;
struct OutputStream;

// Converts in[0..n) into out and returns the count written (at most 2*n).
// next is the byte after the block, or -1 at the end of the input; it
// matters only when in[n-1] is CR. A CR directly followed by LF is dropped,
// so the LF alone gives the break, even across a block boundary. out must
// have room for 2*n bytes whatever the count: the vector paths store whole
// vectors and may leave bytes past the count.
std::size_t convert_bytes(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style);

// True when converting in[0..n) would change a byte of it. previous and next
// are the bytes around the block, -1 where there are none, so that a CR LF
// pair split between two blocks counts as the one break it is. A caller
// that goes on to the following block may pass -1 for next unless in[n-1]
// is CR: that block's check sees the pair.
bool conversion_changes(const unsigned char* in, std::size_t n, int previous,
                        int next, BreakStyle style);

// Converts input_block[0..n) into output_block; looks at the input only when
// the block ends in CR, to learn whether an LF follows.
std::size_t convert_block(InputStream* input, const unsigned char* input_block,
                          std::size_t n, unsigned char* output_block,
                          BreakStyle style);

// How a conversion of a whole stream ended.
enum class ConvertResult { done, read_failed, write_failed };

// Converts block by block until a read yields no bytes. Every byte that was
// read, those of a failing read included, is converted and written before
// a failure is reported.
ConvertResult convert_stream(InputStream* input, const OutputStream& output,
                             unsigned char* input_block,
                             unsigned char* output_block, BreakStyle style);

}  // namespace eolswap

#endif  // EOLSWAP_CONVERT_H_
