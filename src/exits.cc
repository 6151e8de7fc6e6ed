// SPDX-License-Identifier: BSD-2-Clause
#include "exits.h"

#include <cstdio>
#include <cstdlib>

#include "run_settings.h"

#ifndef EOLSWAP_VERSION
#define EOLSWAP_VERSION "0.6"
#endif

namespace eolswap {

namespace {

void print_help(const char* name) {
  std::fprintf(stderr, "Usage: %s [options] infile [outfile]\n", name);
  std::fputs(
      "Where: infile =  name of input file\n"
      "       outfile = name of output file\n"
      "       Use '-' for stdin or stdout, respectively.\n"
      "Options:\n"
      "  -d = convert to M$DOS line breaks (CR/LF)\n"
      "  -m = convert to Mac   line breaks (CR)\n"
      "  -u = convert to UNIX  line breaks (LF)\n"
      "  -i = only identify input file type\n"
      "  -p = verify that input file is plain text\n"
      "  -q = suppress \"Converting...\" message\n"
      "  -v = display version info\n"
      "  -h = display this help message\n"
      "\n"
      "Written by the eolswap developers.\n",
      stderr);
}

}  // namespace

void print_usage_and_exit(const char* name, const char* message) {
  if (message != nullptr) std::fprintf(stderr, "Error: %s\n", message);
  print_help(name);
  if (message != nullptr) std::exit(exit_failure);
  exit_after_report();
}

void print_version_and_exit(const char* name) {
  std::fprintf(stderr, "%s version " EOLSWAP_VERSION "\n", name);
  exit_after_report();
}

void exit_after_report() {
  // Standard error is unbuffered: a write that failed, in part or whole, has
  // already set the stream's error mark.
  std::exit(std::fflush(stderr) == 0 && std::ferror(stderr) == 0
                ? exit_ok
                : exit_failure);
}

void fatal_error(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "Error: %s\n", message);
  std::exit(exit_failure);
}

}  // namespace eolswap
