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
//
// A block device may hold the bytes of another file. A partition is a range
// of bytes of its whole disk: `disk` is the disk's number and `start` and
// `size` the range in bytes (`disk` 0 is the device itself, and `size` 0
// all of it). A loop device is a view of a file: `backed` says that its
// backing file, `backing_device` and `backing_inode`, is known. Where the
// system cannot say, these stay empty and the device is only itself.
struct FileIdentity {
  bool regular = false;
  bool block_device = false;
  bool unreadable = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t disk = 0;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  bool backed = false;
  std::uint64_t backing_device = 0;
  std::uint64_t backing_inode = 0;
};

// True when the block device a is a view of the regular file b.
constexpr bool views_file(const FileIdentity& a, const FileIdentity& b) {
  return a.backed && b.regular && a.backing_device == b.device &&
         a.backing_inode == b.inode;
}

// True when two block devices share bytes: ranges of one disk that overlap
// (a partition and its whole disk always do), or two disks that are views
// of one file.
constexpr bool share_blocks(const FileIdentity& a, const FileIdentity& b) {
  if (a.device == b.device) return true;
  const std::uint64_t a_disk = a.disk != 0 ? a.disk : a.device;
  const std::uint64_t b_disk = b.disk != 0 ? b.disk : b.device;
  if (a_disk != b_disk) {
    return a.backed && b.backed && a.backing_device == b.backing_device &&
           a.backing_inode == b.backing_inode;
  }
  if (a.size == 0 || b.size == 0) return true;
  return a.start < b.start + b.size && b.start < a.start + a.size;
}

// True when both name one regular file.
constexpr bool is_same_regular_file(const FileIdentity& a,
                                    const FileIdentity& b) {
  return a.regular && b.regular && a.device == b.device && a.inode == b.inode;
}

// True when writing one could destroy bytes of the other not yet read: both
// name one regular file, or block devices that share bytes, or a block
// device and the file it is a view of; or either identity is unreadable, so
// that nothing shows them apart. An inode number is unique on its own
// device only, so equal numbers on two devices are two files. Character
// devices such as /dev/null or a terminal may serve as input and output at
// once: what is written to them is never read back.
constexpr bool may_be_same_file(const FileIdentity& a, const FileIdentity& b) {
  if (a.unreadable || b.unreadable) return true;
  if (views_file(a, b) || views_file(b, a)) return true;
  if (a.block_device && b.block_device) return share_blocks(a, b);
  return is_same_regular_file(a, b);
}

}  // namespace eolswap

#endif  // EOLSWAP_FILE_IDENTITY_H_
