// SPDX-License-Identifier: BSD-2-Clause
#include "stream.h"

#include <cerrno>

#include "platform.h"

namespace eolswap {

std::size_t read_block(InputStream* input, unsigned char* block,
                       std::size_t size) {
  if (input->held != 0) {
    std::size_t n = input->held;
    input->held = 0;
    return n;
  }
  std::size_t n = 0;
  if (input->pending >= 0 && size > 0) {
    block[n++] = static_cast<unsigned char>(input->pending);
    input->pending = -1;
  }
  // A pipe or a terminal delivers a few bytes at a time; keep reading until
  // the block is full, so that block boundaries do not depend on how the
  // bytes arrive.
  while (n < size && !input->at_end && !input->failed) {
    long got = platform::read_some(input->fd, block + n, size - n);
    if (got > 0) {
      n += static_cast<std::size_t>(got);
    } else if (got == 0) {
      input->at_end = true;
    } else if (errno != EINTR) {
      input->failed = true;
    }
  }
  return n;
}

void unread_block(InputStream* input, std::size_t n) { input->held = n; }

int peek_next_byte(InputStream* input) {
  if (input->pending >= 0) return input->pending;
  unsigned char byte = 0;
  while (!input->at_end && !input->failed) {
    long got = platform::read_some(input->fd, &byte, 1);
    if (got == 1) {
      input->pending = byte;
      return byte;
    }
    if (got == 0) {
      input->at_end = true;
    } else if (errno != EINTR) {
      input->failed = true;
    }
  }
  return -1;
}

bool write_all(const OutputStream& output, const unsigned char* data,
               std::size_t n) {
  // One write per block in practice; a write that the system splits (a
  // signal, a nearly full pipe) is carried on rather than taken as loss.
  while (n > 0) {
    long put = platform::write_some(output.fd, data, n);
    if (put > 0) {
      data += put;
      n -= static_cast<std::size_t>(put);
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace eolswap
