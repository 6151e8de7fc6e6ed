#ifndef EOLSWAP_TESTS_TEST_UTIL_H_
#define EOLSWAP_TESTS_TEST_UTIL_H_

#include <cstdio>
#include <random>
#include <string>

#include "convert.h"

namespace eolswap::testing_util {

// The rule in its plainest form, over a whole buffer: CR LF, a lone CR and
// LF are each one break; every other byte stays.
inline std::string model_convert(const std::string& in, BreakStyle style) {
  const std::string brk = style == style_unix  ? "\n"
                          : style == style_dos ? "\r\n"
                                               : "\r";
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
    out += in[i] == '\r' || in[i] == '\n' ? brk : std::string(1, in[i]);
  }
  return out;
}

// Random bytes, mostly CR and LF, so that pairs and runs of breaks are common.
inline std::string random_breaky(std::mt19937* rng, std::size_t size) {
  static const char alphabet[] = {'\r', '\n', '\r', '\n',
                                  'a',  '\0', '\f', '\x80'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
  std::string s(size, ' ');
  for (char& c : s) c = alphabet[pick(*rng)];
  return s;
}

// A temporary file holding bytes, rewound, as a descriptor-backed file.
inline std::FILE* temp_file_with(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fflush(f);
  std::rewind(f);
  return f;
}

inline std::string read_all(std::FILE* f) {
  std::string out;
  std::rewind(f);
  char buf[4096];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, got);
  return out;
}

}  // namespace eolswap::testing_util

#endif  // EOLSWAP_TESTS_TEST_UTIL_H_
