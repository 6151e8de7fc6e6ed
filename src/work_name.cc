// SPDX-License-Identifier: BSD-2-Clause
#include "work_name.h"

#include <cstdio>
#include <cstring>

namespace eolswap {

namespace {

// Windows takes either slash between folders; POSIX only '/'.
bool is_separator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

}  // namespace

bool format_work_name(char* out, std::size_t size, const char* path, long pid,
                      unsigned attempt, const char* suffix) {
  char added[64];
  const int added_length = std::snprintf(
      added, sizeof added, ".eolswap-%ld-%u%s", pid, attempt, suffix);
  if (added_length < 0 ||
      static_cast<std::size_t>(added_length) >= sizeof added)
    return false;
  std::size_t entry = std::strlen(path);
  while (entry > 0 && !is_separator(path[entry - 1])) --entry;
  std::size_t kept = std::strlen(path) - entry;
  const std::size_t room =
      longest_entry_name - static_cast<std::size_t>(added_length);
  if (kept > room) kept = room;
  const int n = std::snprintf(out, size, "%.*s%s",
                              static_cast<int>(entry + kept), path, added);
  return n >= 0 && static_cast<std::size_t>(n) < size;
}

}  // namespace eolswap
