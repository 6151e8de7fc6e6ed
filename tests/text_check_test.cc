// SPDX-License-Identifier: BSD-2-Clause
#include "text_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run_settings.h"
#include "stream.h"
#include "test_util.h"

namespace eolswap {
namespace {

struct CensusCase {
  const char* name;
  std::string block;
  BreakCensus want;
};

BreakCensus census(bool crlf, bool cr_alone, bool lf_alone, bool lf_cr,
                   bool not_text, std::size_t stop_at) {
  BreakCensus c;
  c.crlf = crlf;
  c.cr_alone = cr_alone;
  c.lf_alone = lf_alone;
  c.lf_cr = lf_cr;
  c.not_text = not_text;
  c.stop_at = stop_at;
  return c;
}

std::string text_with_control_at(std::size_t size, std::size_t at, char c) {
  std::string s(size, 'a');
  s[at] = c;
  return s;
}

const CensusCase census_cases[] = {
    {"empty", "", census(0, 0, 0, 0, 0, 0)},
    {"one NUL byte is never examined", std::string(1, '\0'),
     census(0, 0, 0, 0, 0, 0)},
    {"break as last byte is not seen", "abc\n", census(0, 0, 0, 0, 0, 3)},
    {"dos", "a\r\nb\r\n", census(1, 0, 0, 0, 0, 6)},
    {"blank dos lines pass over each LF", "\r\n\r\nx",
     census(1, 0, 0, 0, 0, 4)},
    {"dos and unix", "a\r\nb\nc", census(1, 0, 1, 0, 0, 5)},
    {"cr cr lf", "\r\r\nx", census(1, 1, 0, 0, 0, 3)},
    {"lf cr passes over the cr", "a\n\rb", census(0, 0, 0, 1, 0, 3)},
    {"mac", "a\rb\r", census(0, 1, 0, 0, 0, 3)},
    {"NUL first", std::string("\0ab", 3), census(0, 0, 0, 0, 1, 0)},
    {"escape at 10", text_with_control_at(20, 10, '\x1b'),
     census(0, 0, 0, 0, 1, 10)},
    {"breaks before the control byte count",
     std::string("a\r\nb\x1a"
                 "cc",
                 7),
     census(1, 0, 0, 0, 1, 4)},
    {"0x7f and high bytes are text", "\x7f\x80\xff\t\f\xe9x",
     census(0, 0, 0, 0, 0, 6)},
    {"vertical tab is not text", "ab\vcd", census(0, 0, 0, 0, 1, 2)},
    {"control byte as last byte is not seen", std::string("abc\x01", 4),
     census(0, 0, 0, 0, 0, 3)},
    {"control byte as 4096th byte is not seen",
     text_with_control_at(input_block_size, input_block_size - 1, '\0'),
     census(0, 0, 0, 0, 0, input_block_size - 1)},
    {"control byte as 4095th byte is seen",
     text_with_control_at(input_block_size, input_block_size - 2, '\0'),
     census(0, 0, 0, 0, 1, input_block_size - 2)},
};

TEST(TextCheck, CensusTable) {
  for (const CensusCase& c : census_cases) {
    SCOPED_TRACE(c.name);
    const BreakCensus got = classify_block(
        reinterpret_cast<const unsigned char*>(c.block.data()), c.block.size());
    EXPECT_EQ(got.crlf, c.want.crlf);
    EXPECT_EQ(got.cr_alone, c.want.cr_alone);
    EXPECT_EQ(got.lf_alone, c.want.lf_alone);
    EXPECT_EQ(got.lf_cr, c.want.lf_cr);
    EXPECT_EQ(got.not_text, c.want.not_text);
    EXPECT_EQ(got.stop_at, c.want.stop_at);
  }
}

TEST(TextCheck, TextBytes) {
  int text = 0;
  for (int b = 0; b < 256; ++b)
    text += is_text_byte(static_cast<unsigned char>(b));
  // 0x20-0xFF plus TAB, LF, FF and CR.
  EXPECT_EQ(text, 224 + 4);
}

// Runs scan_first_block on a temporary file holding bytes.
void scan(const std::string& bytes, bool identify_only, const char* name,
          InputStream* input, std::vector<unsigned char>* block) {
  std::FILE* f = testing_util::temp_file_with(bytes);
  input->fd = fileno(f);
  RunSettings settings;
  settings.identify_only = identify_only;
  settings.verify_text = true;
  block->assign(input_block_size, 0);
  scan_first_block(input, block->data(), settings, name);
}

TEST(TextCheckDeathTest, Reports) {
  InputStream input;
  std::vector<unsigned char> block;
  EXPECT_EXIT(scan(std::string("\0abc", 4), false, "f.bin", &input, &block),
              ::testing::ExitedWithCode(exit_not_text),
              "^f\\.bin seems to be no text file \\(0\\)\\.\n$");
  EXPECT_EXIT(scan(text_with_control_at(30, 10, '\x1b') + "\r\n", true, "-",
                   &input, &block),
              ::testing::ExitedWithCode(exit_not_text),
              "^- seems to be no text file \\(10\\)\\.\n$");
  EXPECT_EXIT(scan("a\r\nb\nc\rd\n\re", true, "x", &input, &block),
              ::testing::ExitedWithCode(exit_ok),
              "^x seems to have MS-DOS line breaks\\.\n"
              "x seems to have Mac line breaks\\.\n"
              "x seems to have UNIX line breaks\\.\n"
              "x seems to have unknown line breaks\\.\n$");
  EXPECT_EXIT(scan("abc\n", true, "x", &input, &block),
              ::testing::ExitedWithCode(exit_ok), "^$");
}

TEST(TextCheck, PlainTextHandsTheBlockBack) {
  InputStream input;
  std::vector<unsigned char> block;
  std::string text(input_block_size + 10, 'a');
  text[input_block_size - 1] = '\r';
  text[input_block_size] = '\n';
  scan(text, false, "t", &input, &block);
  // The next read delivers the first block again, then the rest.
  EXPECT_EQ(read_block(&input, block.data(), block.size()), input_block_size);
  EXPECT_EQ(block[0], 'a');
  EXPECT_EQ(block[input_block_size - 1], '\r');
  EXPECT_EQ(read_block(&input, block.data(), block.size()), 10u);
  EXPECT_EQ(block[0], '\n');
}

}  // namespace
}  // namespace eolswap
