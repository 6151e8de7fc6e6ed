// SPDX-License-Identifier: BSD-2-Clause
#include "driver.h"

#ifdef _WIN32
#include "platform_win32.h"

// main's argv holds only what the ANSI code page can spell and replaces
// every other character; the wide vector holds each name as typed.
extern "C" int wmain(int argc, wchar_t* argv[]) {
  eolswap::run(argc, eolswap::platform::utf8_arguments(argc, argv));
}
#else
int main(int argc, char* argv[]) { eolswap::run(argc, argv); }
#endif
