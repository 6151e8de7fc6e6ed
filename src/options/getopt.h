// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_OPTIONS_GETOPT_H_
#define EOLSWAP_OPTIONS_GETOPT_H_

// The program's own option scanner, with the interface of POSIX getopt.
// It never reorders arguments: scanning stops at the first operand, and any
// argument that begins with two dashes ends the options and is consumed.
// The names live in their own namespace so that the C library's scanner of
// the same names is never picked up by mistake.
namespace eolswap::options {

// Index in argv of the next argument to scan; after the scan, the first
// operand.
extern int optind;
// While non-zero, the scanner prints its diagnostics on standard error.
extern int opterr;
// The option character examined last.
extern int optopt;
// The argument of the option just returned, when that option takes one.
extern char* optarg;

// Returns the next option character, '?' for an unknown option or a missing
// option argument, and -1 when the options are over.
int getopt(int argc, char* const argv[], const char* optstring);

}  // namespace eolswap::options

#endif  // EOLSWAP_OPTIONS_GETOPT_H_
