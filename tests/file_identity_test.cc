// SPDX-License-Identifier: BSD-2-Clause
#include "file_identity.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform.h"

namespace eolswap {
namespace {

FileIdentity file(std::uint64_t device, std::uint64_t inode,
                  bool regular = true) {
  FileIdentity identity;
  identity.regular = regular;
  identity.device = device;
  identity.inode = inode;
  return identity;
}

// Every node of a block device gives the device's own number.
FileIdentity block_device(std::uint64_t number) {
  FileIdentity identity;
  identity.block_device = true;
  identity.device = number;
  return identity;
}

// A loop device over the file (8, 1234), and a partition of disk 0x700.
constexpr FileIdentity loop_over_file{.block_device = true, .device = 0x700,
                                      .backed = true, .backing_device = 8,
                                      .backing_inode = 1234};
constexpr FileIdentity partition{.block_device = true, .device = 0x10300,
                                 .disk = 0x700, .start = 1024, .size = 512};

FileIdentity unreadable() {
  FileIdentity identity;
  identity.unreadable = true;
  return identity;
}

struct SameFileCase {
  const char* name;
  FileIdentity a;
  FileIdentity b;
  bool same;
};

const SameFileCase same_file_cases[] = {
    {"one regular file", file(8, 1234), file(8, 1234), true},
    {"equal inodes on two devices", file(8, 1234), file(9, 1234), false},
    {"two inodes on one device", file(8, 1234), file(8, 1235), false},
    {"device and inode swapped", file(8, 9), file(9, 8), false},
    {"high bits of the inode count", file(8, 1), file(8, 1 + (1ull << 32)),
     false},
    {"high bits of the device count", file(1, 8), file(1 + (1ull << 32), 8),
     false},
    {"the same device file twice", file(5, 6, false), file(5, 6, false), false},
    {"a regular file and the same numbers not regular", file(8, 1234),
     file(8, 1234, false), false},
    {"no file and a regular file", FileIdentity{}, file(0, 0), false},
    {"no file on either side", FileIdentity{}, FileIdentity{}, false},
    {"one block device", block_device(0x700), block_device(0x700), true},
    {"two block devices", block_device(0x700), block_device(0x701), false},
    {"a loop device and its backing file", loop_over_file, file(8, 1234), true},
    {"a partition and its whole disk", partition, block_device(0x700), true},
    {"two partitions apart", partition,
     {.block_device = true, .device = 0x10301, .disk = 0x700, .start = 1536,
      .size = 512},
     false},
    {"an unreadable identity is not told apart", unreadable(), file(8, 1234),
     true},
};

TEST(FileIdentity, MayBeSameFileTable) {
  for (const SameFileCase& c : same_file_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(may_be_same_file(c.a, c.b), c.same);
    EXPECT_EQ(may_be_same_file(c.b, c.a), c.same);
  }
}

// A file's name and an open descriptor of it must give one identity, or the
// refusal before the output is opened would never match.
TEST(FileIdentity, NameAndDescriptorAgree) {
  const char* name = "file_identity_test.tmp";
  const char* other_name = "file_identity_test_other.tmp";
  std::FILE* f = std::fopen(name, "wb");
  std::FILE* other = std::fopen(other_name, "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_NE(other, nullptr);
  const FileIdentity by_descriptor = platform::identify_descriptor(fileno(f));
  EXPECT_TRUE(by_descriptor.regular);
  EXPECT_TRUE(may_be_same_file(by_descriptor, platform::identify_path(name)));
  EXPECT_FALSE(
      may_be_same_file(by_descriptor, platform::identify_path(other_name)));
  EXPECT_FALSE(may_be_same_file(by_descriptor,
                                 platform::identify_descriptor(fileno(other))));
  std::fclose(f);
  std::fclose(other);
  std::remove(name);
  std::remove(other_name);
  EXPECT_FALSE(platform::identify_path(name).regular);
  EXPECT_FALSE(platform::identify_path(".").regular);
}

}  // namespace
}  // namespace eolswap
