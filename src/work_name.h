// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_WORK_NAME_H_
#define EOLSWAP_WORK_NAME_H_

#include <cstddef>

namespace eolswap {

// The longest name of one folder entry that file systems take: 255 bytes
// on POSIX, 255 units on Windows, which a name of 255 bytes never exceeds.
constexpr std::size_t longest_entry_name = 255;

// The working file of a conversion in place lies beside the file, named
// after it: path with ".eolswap-<pid>-<attempt>" and suffix added. Its last
// part is cut short, where needed, so that the entry stays within
// longest_entry_name bytes. Writes the name and its terminator into
// out[0..size); false when they do not fit.
bool format_work_name(char* out, std::size_t size, const char* path, long pid,
                      unsigned attempt, const char* suffix);

}  // namespace eolswap

#endif  // EOLSWAP_WORK_NAME_H_
