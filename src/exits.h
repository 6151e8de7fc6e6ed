// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_EXITS_H_
#define EOLSWAP_EXITS_H_

// The routines that end the process with a message on standard error. None
// of them returns.

namespace eolswap {

// The program's name in its own texts; the option scanner's diagnostics use
// argv[0] instead.
constexpr const char* program_name = "eolswap";

// Prints "Error: message" (when message is not null) and the help on
// standard error, then exits with 1 after an error and as
// exit_after_report otherwise.
[[noreturn]] void print_usage_and_exit(const char* name, const char* message);

// Prints the version line on standard error and exits as exit_after_report.
[[noreturn]] void print_version_and_exit(const char* name);

// Ends a run whose only product is its text on standard error (the help, the
// version, the -i report): with 0 when all of it was written, and with 1,
// without a further message, when some of it was lost (a full disk, a closed
// descriptor), since losing the product is a failure.
[[noreturn]] void exit_after_report();

// Prints "Error: message" (when message is not null), no help, and exits
// with 1.
[[noreturn]] void fatal_error(const char* message);

}  // namespace eolswap

#endif  // EOLSWAP_EXITS_H_
