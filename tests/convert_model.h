// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_TESTS_CONVERT_MODEL_H_
#define EOLSWAP_TESTS_CONVERT_MODEL_H_

// The conversion rule in its plainest form, over a whole buffer, against
// which the unit tests and the fuzz targets check every kernel and the
// block loop. It shares no code with the program.

#include <string>

#include "convert.h"

namespace eolswap::testing_util {

// CR LF, a lone CR and LF are each one break, written in the style's form;
// every other byte stays.
inline std::string model_convert(const std::string& in, BreakStyle style) {
  const std::string brk = style == style_unix  ? "\n"
                          : style == style_dos ? "\r\n"
                                               : "\r";
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
    if (in[i] == '\r' || in[i] == '\n') {
      out += brk;
    } else {
      out += in[i];
    }
  }
  return out;
}

}  // namespace eolswap::testing_util

#endif  // EOLSWAP_TESTS_CONVERT_MODEL_H_
