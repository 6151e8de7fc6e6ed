#ifndef EOLSWAP_DRIVER_H_
#define EOLSWAP_DRIVER_H_

#include "convert.h"

namespace eolswap {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_not_text = 2;

// The program's name in its own texts; the option scanner's diagnostics use
// argv[0] instead.
constexpr const char* program_name = "eolswap";

// What the command line asked for.
struct RunSettings {
  BreakStyle style = style_dos;
  bool identify_only = false;  // -i
  bool verify_text = false;    // -p
  bool quiet = false;          // -q
};

// Prints "Error: message" (when message is not null) and the help on
// standard error, then exits with 1 after an error and 0 otherwise.
[[noreturn]] void print_usage_and_exit(const char* name, const char* message);

// Prints the version line on standard error and exits with 0.
[[noreturn]] void print_version_and_exit(const char* name);

// Prints "Error: message" (when message is not null), no help, and exits
// with 1.
[[noreturn]] void fatal_error(const char* message);

// Runs the whole program: options, streams, the optional first-block check
// and the conversion. Never returns.
[[noreturn]] void run(int argc, char* argv[]);

}  // namespace eolswap

#endif  // EOLSWAP_DRIVER_H_
