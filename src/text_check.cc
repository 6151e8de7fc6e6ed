// SPDX-License-Identifier: BSD-2-Clause
#include "text_check.h"

#include <cstdio>
#include <cstdlib>

#include "exits.h"
#include "line_break.h"
#include "message.h"
#include "run_settings.h"
#include "stream.h"

namespace eolswap {

bool is_text_byte(unsigned char b) {
  return b >= 0x20 || b == '\t' || b == lf || b == '\f' || b == cr;
}

BreakCensus classify_block(const unsigned char* block, std::size_t n) {
  BreakCensus census;
  std::size_t i = 0;
  for (; i + 1 < n; ++i) {
    const unsigned char b = block[i];
    if (!is_text_byte(b)) {
      census.not_text = true;
      break;
    }
    if (b == cr) {
      if (block[i + 1] == lf) {
        census.crlf = true;
        ++i;
      } else {
        census.cr_alone = true;
      }
    } else if (b == lf) {
      if (block[i + 1] == cr) {
        census.lf_cr = true;
        ++i;
      } else {
        census.lf_alone = true;
      }
    }
  }
  census.stop_at = i;
  return census;
}

void scan_first_block(InputStream* input, unsigned char* input_block,
                      const RunSettings& settings, const char* input_name) {
  const std::size_t n = read_block(input, input_block, input_block_size);
  const BreakCensus census = classify_block(input_block, n);
  // A report or a refusal on a block that a failing read cut short would
  // answer for an input that was never read in full; the failure is the
  // answer. Only -p on text goes on, to convert what was read.
  if (input->failed && (settings.identify_only || census.not_text))
    fatal_error("error reading input file\n");
  if (census.not_text) {
    platform::print_message("%s seems to be no text file (%zu).\n", input_name,
                            census.stop_at);
    std::exit(exit_not_text);
  }

  if (settings.identify_only) {
    if (census.crlf)
      platform::print_message("%s seems to have MS-DOS line breaks.\n",
                              input_name);
    if (census.cr_alone)
      platform::print_message("%s seems to have Mac line breaks.\n",
                              input_name);
    if (census.lf_alone)
      platform::print_message("%s seems to have UNIX line breaks.\n",
                              input_name);
    if (census.lf_cr)
      platform::print_message("%s seems to have unknown line breaks.\n",
                              input_name);
    exit_after_report();
  }

  // Handing the block back instead of seeking works on pipes and terminals
  // too, and starts the conversion where the input stood when it was given
  // to the program, not at an offset the caller may never have meant. After
  // a failing read the conversion first writes what was read, then reports
  // the failure.
  unread_block(input, n);
}

}  // namespace eolswap
