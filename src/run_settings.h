// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_RUN_SETTINGS_H_
#define EOLSWAP_RUN_SETTINGS_H_

#include "line_break.h"

namespace eolswap {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_not_text = 2;

// What the command line asked for.
struct RunSettings {
  BreakStyle style = style_dos;
  bool identify_only = false;  // -i
  bool verify_text = false;    // -p
  bool quiet = false;          // -q
};

}  // namespace eolswap

#endif  // EOLSWAP_RUN_SETTINGS_H_
