// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_FILE_IDENTITY_H_
#define EOLSWAP_FILE_IDENTITY_H_

#include <cstdint>

namespace eolswap {

// What tells one file from every other: a device and an inode number on
// POSIX, a volume serial number and a file index on Windows. Every path and
// hard link to a file gives the same pair. For a block device, `device` is
// the number of the device itself and `inode` is 0, so that every node of
// it gives the same identity. `regular` and `block_device` are both false
// for anything else (a pipe, a terminal, a directory, no file at all);
// `unreadable` is true when the system failed to say what the file is.
struct FileIdentity {
  bool regular = false;
  bool block_device = false;
  bool unreadable = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// True when writing one could destroy bytes of the other not yet read: both
// name one regular file or one block device, or either identity is
// unreadable, so that nothing shows them apart. An inode number is unique on
// its own device only, so equal numbers on two devices are two files.
// Character devices such as /dev/null or a terminal may serve as input and
// output at once: what is written to them is never read back.
constexpr bool may_be_same_file(const FileIdentity& a, const FileIdentity& b) {
  if (a.unreadable || b.unreadable) return true;
  if (a.block_device && b.block_device) return a.device == b.device;
  return a.regular && b.regular && a.device == b.device && a.inode == b.inode;
}

// True when both name one regular file.
constexpr bool is_same_regular_file(const FileIdentity& a,
                                    const FileIdentity& b) {
  return a.regular && b.regular && a.device == b.device && a.inode == b.inode;
}

}  // namespace eolswap

#endif  // EOLSWAP_FILE_IDENTITY_H_
