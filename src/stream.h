// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_STREAM_H_
#define EOLSWAP_STREAM_H_

#include <cstddef>

namespace eolswap {

// Bytes travel through raw descriptors: nothing is translated, nothing waits
// in a buffer, and each block costs one read operation and one write.

// The input side of a run. `pending` is a byte that peek_next_byte has taken
// from the descriptor but not yet delivered, or -1; `held` counts bytes that
// are already in the caller's block and that the next read_block delivers
// again without reading them.
struct InputStream {
  int fd = -1;
  const char* name = "-";
  int pending = -1;
  std::size_t held = 0;
  bool at_end = false;
  bool failed = false;
};

struct OutputStream {
  int fd = -1;
  const char* name = "-";
};

// Fills block[0..size) and returns the count. The count is short only when
// the input ended or a read failed first; a failure sets input->failed and
// the bytes obtained before it are still delivered.
std::size_t read_block(InputStream* input, unsigned char* block,
                       std::size_t size);

// Makes the next read_block deliver block[0..n) again, as if the input had
// been set back by n bytes. The caller passes the same block to that read.
void unread_block(InputStream* input, std::size_t n);

// Returns the next byte of the input without consuming it, or -1 at the end
// of the input or on a read failure (which sets input->failed).
int peek_next_byte(InputStream* input);

// Writes data[0..n) whole. Returns false when the output accepted less.
bool write_all(const OutputStream& output, const unsigned char* data,
               std::size_t n);

}  // namespace eolswap

#endif  // EOLSWAP_STREAM_H_
