// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_FUZZ_FUZZ_CHECK_H_
#define EOLSWAP_FUZZ_FUZZ_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that fails ends the run by abort(), which libFuzzer reports as
// a crash with the input saved, and which fails the corpus replay in CTest.
#define FUZZ_CHECK(cond)                                               \
  do {                                                                 \
    if (!(cond)) {                                                     \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, \
                   __LINE__, #cond);                                   \
      std::abort();                                                    \
    }                                                                  \
  } while (0)

namespace eolswap::fuzz {

// A small generator for the choices a target makes from its input (split
// points, look-ahead answers), so that every input replays the same way.
class Choices {
 public:
  explicit Choices(std::uint64_t seed) : state_(seed) {}

  // splitmix64.
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

  // A number in [lo, hi]; lo <= hi.
  std::size_t between(std::size_t lo, std::size_t hi) {
    return lo + static_cast<std::size_t>(next() % (hi - lo + 1));
  }

 private:
  std::uint64_t state_;
};

// Takes up to eight bytes from the front of the input as a seed.
inline std::uint64_t take_seed(const std::uint8_t** data, std::size_t* size) {
  std::uint64_t seed = 0;
  for (int i = 0; i < 8 && *size > 0; ++i, ++*data, --*size)
    seed = seed << 8 | **data;
  return seed;
}

}  // namespace eolswap::fuzz

#endif  // EOLSWAP_FUZZ_FUZZ_CHECK_H_
