// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_PLATFORM_WIN32_H_
#define EOLSWAP_PLATFORM_WIN32_H_

#include <string>

namespace eolswap::platform {

// The wide argument vector of wmain as bytes (wide_text.h), in the form
// that main's argv has: argc entries and a null pointer after them. The
// storage lasts until the process ends.
char** utf8_arguments(int argc, wchar_t* argv[]);

// The wide form of a path (bytes as in wide_text.h) that the system's open
// functions take: the path itself when it is short, the \\?\ form of its
// full path when that does not fit in MAX_PATH units with its terminator.
std::wstring system_path(const char* path);

}  // namespace eolswap::platform

#endif  // EOLSWAP_PLATFORM_WIN32_H_
