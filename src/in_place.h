// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_IN_PLACE_H_
#define EOLSWAP_IN_PLACE_H_

namespace eolswap {

struct InputStream;
struct RunSettings;

// Converts the regular file that input reads, and that name names too, in
// place: the file keeps its identity (inode, links, owner, mode, extended
// attributes), and only its content changes. A file already in the target
// form is not written at all. At every moment the old content or the new
// one is whole, in the file or in the working file beside it. Prints the
// progress line unless quiet, and ends the process with its status.
[[noreturn]] void convert_in_place(InputStream* input, const char* name,
                                   unsigned char* input_block,
                                   unsigned char* output_block,
                                   const RunSettings& settings);

}  // namespace eolswap

#endif  // EOLSWAP_IN_PLACE_H_
