// SPDX-License-Identifier: BSD-2-Clause
#include "platform_win32.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform.h"

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

// A pipe in message mode: a read that asks for less than a message takes a
// piece of it, and the next read goes on with the rest.
TEST(ReadSome, MessageModePipeLosesNothing) {
  const std::wstring name =
      L"\\\\.\\pipe\\eolswap-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_OUTBOUND,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 65536, 65536,
      0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                              0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  DWORD mode = PIPE_READMODE_MESSAGE;
  ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
  const std::string sent = std::string(3000, 'x') + std::string(3000, 'y');
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(server, sent.data(), 3000, &put, nullptr));
  ASSERT_TRUE(WriteFile(server, sent.data() + 3000, 3000, &put, nullptr));
  CloseHandle(server);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(client), _O_RDONLY);
  std::string got;
  unsigned char piece[1024];
  long n;
  while ((n = read_some(fd, piece, sizeof piece)) > 0)
    got.append(reinterpret_cast<const char*>(piece), static_cast<std::size_t>(n));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
  _close(fd);
}

}  // namespace
}  // namespace eolswap::platform
