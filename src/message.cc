// SPDX-License-Identifier: BSD-2-Clause
#include "message.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform.h"
#include "stream.h"

namespace eolswap::platform {

namespace {

bool message_lost = false;

// Standard error may be a pipe in non-blocking mode whose reader is behind;
// the message is written through the same waiting writes as the output, so
// that it arrives whole rather than failing with "try again".
bool write_message(const char* text, std::size_t size) {
  switch (write_console(text, size)) {
    case ConsoleWrite::written:
      return true;
    case ConsoleWrite::failed:
      return false;
    case ConsoleWrite::not_console:
      break;
  }
  const OutputStream standard_error{2, "-"};
  return write_all(standard_error,
                   reinterpret_cast<const unsigned char*>(text), size);
}

}  // namespace

// The message is whole before it is written, so that a console never gets
// a character cut in two. Most messages fit the local buffer; one with a
// long name takes a heap block, and is lost if there is none.
void print_message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char local[1024];
  char* text = local;
  // clang-tidy 14's analyzer loses track of va_start here once it has
  // analysed another file in the same run.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int size = std::vsnprintf(local, sizeof local, format, copy);
  va_end(copy);
  const auto length = static_cast<std::size_t>(size);
  if (size >= 0 && length >= sizeof local) {
    text = static_cast<char*>(std::malloc(length + 1));
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    if (text != nullptr) std::vsnprintf(text, length + 1, format, args);
  }
  va_end(args);
  if (size < 0 || text == nullptr || !write_message(text, length))
    message_lost = true;
  if (text != local) std::free(text);
}

bool every_message_written() { return !message_lost; }

}  // namespace eolswap::platform
