// SPDX-License-Identifier: BSD-2-Clause
#include "wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace eolswap {
namespace {

std::string to_bytes(const std::u16string& units) {
  std::string bytes(utf8_bytes_per_unit * units.size(), '\0');
  bytes.resize(utf8_from_utf16(units.data(), units.size(), bytes.data()));
  return bytes;
}

std::u16string to_units(const std::string& bytes) {
  std::u16string units(bytes.size(), u'\0');
  units.resize(utf16_from_utf8(bytes.data(), bytes.size(), units.data()));
  return units;
}

struct NameCase {
  const char* name;
  std::u16string units;
  std::string bytes;
};

// Every row goes both ways: a name must come back unit for unit.
const NameCase name_cases[] = {
    {"two bytes", u"na\u00EFve", "na\xC3\xAFve"},
    {"three bytes, up to U+FFFF", u"\u65E5\uFFFF", "\xE6\x97\xA5\xEF\xBF\xBF"},
    {"a pair is one character of four bytes", u"-\U0001F600.txt",
     "-\xF0\x9F\x98\x80.txt"},
    {"high surrogate before another unit",
     u"\xD83D"
     u"a",
     "\xED\xA0\xBD"
     "a"},
    {"low surrogate after another unit", u"a\xDE00", "a\xED\xB8\x80"},
    {"two bytes up to U+07FF, three from U+0800", u"\u07FF\u0800",
     "\xDF\xBF\xE0\xA0\x80"},
    {"one unit up to U+FFFF, a pair from U+10000", u"\uFFFF\U00010000",
     "\xEF\xBF\xBF\xF0\x90\x80\x80"},
    {"the last pair, DBFF DFFF", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
};

TEST(WideText, NamesGoBothWaysWithoutLoss) {
  for (const NameCase& c : name_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_bytes(c.units), c.bytes);
    EXPECT_EQ(to_units(c.bytes), c.units);
  }
}

struct BadBytesCase {
  const char* name;
  std::string bytes;
  std::u16string units;
};

// Bytes that the program never makes from a name, each byte of a broken
// sequence becoming one replacement character.
const BadBytesCase bad_bytes_cases[] = {
    {"continuation byte with no lead", "a\x80", u"a\uFFFD"},
    {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"cut short by another lead",
     "\xE6\x97"
     "a",
     u"\uFFFD\uFFFD"
     "a"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
};

TEST(WideText, BrokenBytesBecomeReplacementCharacters) {
  for (const BadBytesCase& c : bad_bytes_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_units(c.bytes), c.units);
  }
}

// The count ends the bytes, whatever follows them in memory.
TEST(WideText, SequenceCutShortByTheCount) {
  char16_t units[3];
  ASSERT_EQ(utf16_from_utf8("\xE6\x97\xA5", 2, units), 2u);
  EXPECT_EQ(std::u16string(units, 2), u"\uFFFD\uFFFD");
}

}  // namespace
}  // namespace eolswap
