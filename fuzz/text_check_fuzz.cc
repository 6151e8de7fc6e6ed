// SPDX-License-Identifier: BSD-2-Clause
// The first-block scan: on any block of up to one input block, the census
// and the stop position must equal those of a plain reading of the rule.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "convert.h"
#include "fuzz_check.h"
#include "text_check.h"

namespace {

using eolswap::BreakCensus;

bool control(unsigned char b) {
  return b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r';
}

// Walks the block two bytes at a time: a CR LF or LF CR pair is one token,
// anything else one byte. The last byte is only ever a partner.
BreakCensus model(const unsigned char* b, std::size_t n) {
  BreakCensus c;
  std::size_t i = 0;
  while (i + 1 < n) {
    if (control(b[i])) {
      c.not_text = true;
      break;
    }
    const std::string pair{static_cast<char>(b[i]),
                           static_cast<char>(b[i + 1])};
    if (pair == "\r\n") {
      c.crlf = true;
      i += 2;
    } else if (pair == "\n\r") {
      c.lf_cr = true;
      i += 2;
    } else {
      c.cr_alone = c.cr_alone || b[i] == '\r';
      c.lf_alone = c.lf_alone || b[i] == '\n';
      i += 1;
    }
  }
  c.stop_at = i;
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size > eolswap::input_block_size) return 0;
  // A heap block of exactly the input's size: a read past its end is caught.
  std::unique_ptr<unsigned char[]> block(new unsigned char[size]);
  if (size > 0) std::memcpy(block.get(), data, size);

  const BreakCensus got = eolswap::classify_block(block.get(), size);
  const BreakCensus want = model(block.get(), size);
  FUZZ_CHECK(got.crlf == want.crlf);
  FUZZ_CHECK(got.cr_alone == want.cr_alone);
  FUZZ_CHECK(got.lf_alone == want.lf_alone);
  FUZZ_CHECK(got.lf_cr == want.lf_cr);
  FUZZ_CHECK(got.not_text == want.not_text);
  FUZZ_CHECK(got.stop_at == want.stop_at);

  // Where the scan stops, seen without the model: on the first control byte
  // before the last byte, or else at the last byte or just past it.
  std::size_t first_control = 0;
  while (first_control + 1 < size && !control(block[first_control]))
    ++first_control;
  if (first_control + 1 < size) {
    FUZZ_CHECK(got.not_text && got.stop_at == first_control);
  } else {
    FUZZ_CHECK(!got.not_text);
    FUZZ_CHECK(size < 2 ? got.stop_at == 0
                        : got.stop_at == size - 1 || got.stop_at == size);
  }
  return 0;
}
