// SPDX-License-Identifier: BSD-2-Clause
#include "options/getopt.h"

#include <cstdio>
#include <cstring>

#include "message.h"
#include "options/getopt_internal.h"

namespace eolswap::options {

int optind = 1;
int opterr = 1;
int optopt = 0;
char* optarg = nullptr;

namespace {

char empty_text[] = "";

// Position of the next option character inside a cluster such as -ui;
// empty between arguments.
const char* cursor = empty_text;

// The diagnostics name the program as it was invoked, without its directory.
void diagnose(const char* argv0, const char* what, int option) {
  if (opterr == 0) return;
  const char* name = argv0 != nullptr ? argv0 : "";
  if (const char* slash = std::strrchr(name, '/')) name = slash + 1;
  platform::print_message("%s: %s -- %c\n", name, what, option);
}

}  // namespace

void reset_cursor() { cursor = empty_text; }

int getopt(int argc, char* const argv[], const char* optstring) {
  if (*cursor == '\0') {
    if (optind >= argc || argv[optind] == nullptr || argv[optind][0] != '-') {
      cursor = empty_text;
      return -1;
    }
    cursor = argv[optind];
    if (cursor[1] != '\0') {
      ++cursor;
      if (*cursor == '-') {
        // "--" and anything else that begins with two dashes.
        ++optind;
        cursor = empty_text;
        return -1;
      }
    }
  }

  optopt = static_cast<unsigned char>(*cursor++);
  const char* entry = optopt == ':' ? nullptr : std::strchr(optstring, optopt);
  if (entry == nullptr) {
    // A dash, alone or inside a cluster, ends the options and leaves its
    // argument to be the first operand.
    if (optopt == '-') return -1;
    if (*cursor == '\0') ++optind;
    diagnose(argv[0], "illegal option", optopt);
    return '?';
  }

  if (entry[1] != ':') {
    optarg = nullptr;
    if (*cursor == '\0') ++optind;
    return optopt;
  }

  if (*cursor != '\0') {
    optarg = const_cast<char*>(cursor);
  } else {
    ++optind;
    if (optind >= argc) {
      cursor = empty_text;
      diagnose(argv[0], "option requires an argument", optopt);
      return '?';
    }
    optarg = argv[optind];
  }
  cursor = empty_text;
  ++optind;
  return optopt;
}

}  // namespace eolswap::options
