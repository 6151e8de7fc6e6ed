// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_TESTS_TEST_UTIL_H_
#define EOLSWAP_TESTS_TEST_UTIL_H_

#include <cstdio>
#include <random>
#include <string>

#include "convert.h"
#include "convert_model.h"

namespace eolswap::testing_util {

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
