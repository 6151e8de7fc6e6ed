// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_WIDE_TEXT_H_
#define EOLSWAP_WIDE_TEXT_H_

#include <cstddef>

// Windows gives file names as 16-bit units, and a name may hold a surrogate
// without its partner as well as any other unit; the program handles names
// as bytes. These convert between the two without loss: the units become
// UTF-8, a lone surrogate the three bytes that UTF-8 would give its value,
// so that every name comes back unit for unit.
namespace eolswap {

// The most bytes that one unit takes (a surrogate pair takes 4 for 2).
constexpr std::size_t utf8_bytes_per_unit = 3;

// Writes the bytes for units[0..n) to out, which holds at least
// utf8_bytes_per_unit * n bytes, and returns the count written.
std::size_t utf8_from_utf16(const char16_t* units, std::size_t n, char* out);

// Writes the units for bytes[0..n) to out, which holds at least n units,
// and returns the count written. A byte that starts no sequence, or starts
// one that is cut short, overlong or past U+10FFFF, becomes U+FFFD alone.
std::size_t utf16_from_utf8(const char* bytes, std::size_t n, char16_t* out);

}  // namespace eolswap

#endif  // EOLSWAP_WIDE_TEXT_H_
