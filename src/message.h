// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_MESSAGE_H_
#define EOLSWAP_MESSAGE_H_

// MinGW's printf checking knows only the Microsoft runtime's directives
// unless told that the program's runtime takes the C99 ones.
#if defined(__MINGW32__)
#define EOLSWAP_PRINTF_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#else
#define EOLSWAP_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#endif

namespace eolswap::platform {

// Prints a message that may carry file names on standard error, as
// std::fprintf(stderr, format, ...) does. The names are the bytes that the
// command line gave; on Windows those are UTF-8 (wide_text.h), and a console
// is handed the characters they spell, since it would show the bytes in its
// own code page. A pipe in non-blocking mode is waited for; a message that
// cannot be written in full is lost and noted.
void print_message(const char* format, ...) EOLSWAP_PRINTF_FORMAT;

// False once any message could not be written in full.
bool every_message_written();

}  // namespace eolswap::platform

#endif  // EOLSWAP_MESSAGE_H_
