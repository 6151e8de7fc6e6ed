// SPDX-License-Identifier: BSD-2-Clause
#include <cstdarg>
#include <cstdio>

#include "message.h"

namespace eolswap::platform {

// A terminal here takes bytes, and names are printed as they came.
void print_message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  // clang-tidy 14's analyzer loses track of va_start here once it has
  // analysed another file in the same run.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace eolswap::platform
