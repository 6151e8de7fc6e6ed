// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_TEXT_CHECK_H_
#define EOLSWAP_TEXT_CHECK_H_

#include <cstddef>

namespace eolswap {

struct InputStream;
struct RunSettings;

// What the first block of the input holds.
struct BreakCensus {
  bool crlf = false;        // CR followed by LF (DOS)
  bool cr_alone = false;    // CR not followed by LF (Mac)
  bool lf_alone = false;    // LF not followed by CR (UNIX)
  bool lf_cr = false;       // LF followed by CR: no known convention
  bool not_text = false;    // a control byte that plain text does not contain
  std::size_t stop_at = 0;  // where the scan stopped, counted from 0
};

// True for the bytes plain text may hold: 0x20-0xFF, TAB, LF, FF and CR.
bool is_text_byte(unsigned char b);

// Classifies block[0..n). Each byte is judged together with the one after
// it, so the last byte is seen only as the partner of a CR or LF before it;
// an input of fewer than two bytes is not examined at all. The scan stops at
// the first byte that is not text.
BreakCensus classify_block(const unsigned char* block, std::size_t n);

// Reads the first block of the input into input_block and judges it. Ends
// the process with status 1 when a read fails under -i or on input that is
// not plain text, with status 2 on input that is not plain text, and under
// -i after the report, as exit_after_report does; otherwise returns with
// the block handed back to the input, so that the conversion starts from
// the first byte the check saw.
void scan_first_block(InputStream* input, unsigned char* input_block,
                      const RunSettings& settings, const char* input_name);

}  // namespace eolswap

#endif  // EOLSWAP_TEXT_CHECK_H_
