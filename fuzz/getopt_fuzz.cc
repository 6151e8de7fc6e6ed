// SPDX-License-Identifier: BSD-2-Clause
// The option scanner: any argument vector, scanned to its end, must end with
// -1 after a bounded number of calls, never look outside the vector, and
// keep optind within 1..argc.
//
// The input is one byte of settings followed by the arguments, separated by
// NUL bytes. Settings: bits 0-1 choose the option string (the program's, one
// with arguments, one that begins with a colon, or the first argument
// itself); bit 2 turns the diagnostics on; bit 3 makes the vector empty.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "options/getopt.h"
#include "options/getopt_internal.h"

namespace {

namespace options = eolswap::options;

// Each string in a heap block of its exact size, so that a read past its
// terminating NUL is caught.
std::unique_ptr<char[]> exact_copy(const std::uint8_t* bytes, std::size_t n) {
  std::unique_ptr<char[]> s(new char[n + 1]);
  if (n > 0) std::memcpy(s.get(), bytes, n);
  s[n] = '\0';
  return s;
}

std::unique_ptr<char[]> exact_copy(const char* text) {
  return exact_copy(reinterpret_cast<const std::uint8_t*>(text),
                    std::strlen(text));
}

// True when p points into one of the strings, its terminating NUL included.
bool inside_vector(const char* p, char* const* argv, int argc) {
  for (int i = 0; i < argc; ++i)
    if (p >= argv[i] && p <= argv[i] + std::strlen(argv[i])) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const unsigned settings = data[0];
  ++data;
  --size;

  std::vector<std::unique_ptr<char[]>> strings;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      strings.push_back(exact_copy(data + start, i - start));
      start = i + 1;
    }
  }
  std::unique_ptr<char[]> optstring;
  switch (settings & 3) {
    case 0:
      optstring = exact_copy("udmipvqhH");
      break;
    case 1:
      optstring = exact_copy("ab:uc:");
      break;
    case 2:
      optstring = exact_copy(":o:v");
      break;
    default:
      optstring = std::move(strings.front());
      strings.erase(strings.begin());
      break;
  }
  if (settings & 8) strings.clear();

  // The vector holds exactly argc pointers, with no terminating null: the
  // scanner must never need argv[argc].
  const int argc = static_cast<int>(strings.size());
  std::unique_ptr<char*[]> argv(new char*[strings.size()]);
  std::size_t total = 0;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    argv[i] = strings[i].get();
    total += std::strlen(argv[i]);
  }

  // Diagnostics go to a sink, not to the terminal; libFuzzer and the
  // sanitizers keep their own handles on standard error. Where the C library
  // does not let the stream be swapped, the diagnostics stay off.
#ifdef __GLIBC__
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  std::FILE* const saved_stderr = stderr;
  if (sink != nullptr) stderr = sink;
  options::opterr = (settings & 4) != 0 && sink != nullptr ? 1 : 0;
#else
  options::opterr = 0;
#endif
  options::optind = 1;
  options::reset_cursor();

  // Every call that does not end the scan uses up at least one character.
  const std::size_t max_calls = total + strings.size() + 1;
  std::size_t calls = 0;
  int result = 0;
  while (calls++ <= max_calls) {
    options::optarg = nullptr;
    result = options::getopt(argc, argv.get(), optstring.get());
    FUZZ_CHECK(options::optind >= 1);
    FUZZ_CHECK(options::optind <= (argc > 1 ? argc : 1));
    if (result == -1) break;
    if (result == '?') continue;
    // A letter returned is one the option string offers.
    FUZZ_CHECK(result == options::optopt && result != ':');
    const char* letter = std::strchr(optstring.get(), result);
    FUZZ_CHECK(letter != nullptr);
    if (letter[1] == ':') {
      FUZZ_CHECK(options::optarg != nullptr &&
                 inside_vector(options::optarg, argv.get(), argc));
    } else {
      FUZZ_CHECK(options::optarg == nullptr);
    }
  }
#ifdef __GLIBC__
  stderr = saved_stderr;
#endif
  FUZZ_CHECK(result == -1);
  return 0;
}
