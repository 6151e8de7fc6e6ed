// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_FILE_IDENTITY_H_
#define EOLSWAP_FILE_IDENTITY_H_

#include <cstdint>

namespace eolswap {

// What tells one file from every other: a device and an inode number on
// POSIX, a volume serial number and a file index on Windows. Every path and
// hard link to a file gives the same pair. `regular` is false for anything
// but a regular file (a pipe, a terminal, a device, a directory) and when
// the system could not tell.
struct FileIdentity {
  bool regular = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// True when both name one regular file. An inode number is unique on its
// own device only, so equal numbers on two devices are two files. Devices
// such as /dev/null may serve as input and output at once; only a regular
// file is destroyed by being emptied before it is read.
constexpr bool same_regular_file(const FileIdentity& a, const FileIdentity& b) {
  return a.regular && b.regular && a.device == b.device && a.inode == b.inode;
}

}  // namespace eolswap

#endif  // EOLSWAP_FILE_IDENTITY_H_
