// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_OPTIONS_GETOPT_INTERNAL_H_
#define EOLSWAP_OPTIONS_GETOPT_INTERNAL_H_

namespace eolswap::options {

// Empties the cursor into the current cluster, so that the next call starts
// a new argument. The program scans once per process and never calls this;
// tests and fuzz targets do, before each argument vector.
void reset_cursor();

}  // namespace eolswap::options

#endif  // EOLSWAP_OPTIONS_GETOPT_INTERNAL_H_
