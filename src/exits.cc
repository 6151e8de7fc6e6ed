// SPDX-License-Identifier: BSD-2-Clause
#include "exits.h"

#include <cstdlib>

#include "message.h"
#include "run_settings.h"

#ifndef EOLSWAP_VERSION
#define EOLSWAP_VERSION "0.6"
#endif

namespace eolswap {

namespace {

void print_help(const char* name) {
  platform::print_message("Usage: %s [options] infile [outfile]\n", name);
  platform::print_message(
      "%s",
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
      "Written by the eolswap developers.\n");
}

}  // namespace

void print_usage_and_exit(const char* name, const char* message) {
  if (message != nullptr) platform::print_message("Error: %s\n", message);
  print_help(name);
  if (message != nullptr) std::exit(exit_failure);
  exit_after_report();
}

void print_version_and_exit(const char* name) {
  platform::print_message("%s version " EOLSWAP_VERSION "\n", name);
  exit_after_report();
}

void exit_after_report() {
  std::exit(platform::every_message_written() ? exit_ok : exit_failure);
}

void fatal_error(const char* message) {
  if (message != nullptr) platform::print_message("Error: %s\n", message);
  std::exit(exit_failure);
}

}  // namespace eolswap
