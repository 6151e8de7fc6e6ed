// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_DRIVER_H_
#define EOLSWAP_DRIVER_H_

namespace eolswap {

// Runs the whole program: options, streams, the optional first-block check
// and the conversion. Never returns.
[[noreturn]] void run(int argc, char* argv[]);

}  // namespace eolswap

#endif  // EOLSWAP_DRIVER_H_
