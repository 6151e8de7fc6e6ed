// SPDX-License-Identifier: BSD-2-Clause
#include "platform_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace eolswap::platform {
namespace {

// Directory names that make a path of more than 300 characters.
const std::string deep = std::string(100, 'p') + "/" + std::string(100, 'q') +
                         "/" + std::string(100, 'r') + "/";

TEST(SystemPath, ShortPathsKeepTheirOrdinaryForm) {
  EXPECT_EQ(system_path("in.txt"), L"in.txt");
}

TEST(SystemPath, LongPathsTakeTheFullForm) {
  const std::wstring local = system_path((deep + "x/../in.txt").c_str());
  SCOPED_TRACE(std::string(local.begin(), local.end()));
  EXPECT_TRUE(local.starts_with(L"\\\\?\\"));
  EXPECT_TRUE(local.ends_with(L"rrr\\in.txt"));
  EXPECT_EQ(local.find(L'/'), std::wstring::npos);
  EXPECT_EQ(local.find(L".."), std::wstring::npos);

  const std::wstring shared = system_path(("//host/share/" + deep).c_str());
  EXPECT_TRUE(shared.starts_with(L"\\\\?\\UNC\\host\\share\\ppp"));

  const std::string full = "\\\\?\\C:\\" + deep;
  EXPECT_EQ(system_path(full.c_str()), std::wstring(full.begin(), full.end()));
}

}  // namespace
}  // namespace eolswap::platform
