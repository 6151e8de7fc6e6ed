// SPDX-License-Identifier: BSD-2-Clause
#include "wide_text.h"

namespace eolswap {

namespace {

bool is_high_surrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

char byte(char32_t value) { return static_cast<char>(value & 0xFF); }

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8_from_utf16(const char16_t* units, std::size_t n, char* out) {
  std::size_t w = 0;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = units[i];
    if (is_high_surrogate(c) && i + 1 < n && is_low_surrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out[w++] = byte(c);
    } else if (c < 0x800) {
      out[w++] = byte(0xC0 | (c >> 6));
      out[w++] = byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[w++] = byte(0xE0 | (c >> 12));
      out[w++] = byte(0x80 | ((c >> 6) & 0x3F));
      out[w++] = byte(0x80 | (c & 0x3F));
    } else {
      out[w++] = byte(0xF0 | (c >> 18));
      out[w++] = byte(0x80 | ((c >> 12) & 0x3F));
      out[w++] = byte(0x80 | ((c >> 6) & 0x3F));
      out[w++] = byte(0x80 | (c & 0x3F));
    }
  }
  return w;
}

// A sequence is taken whole or not at all: the lead byte fixes its length
// and the lowest value it may carry, so that an overlong form, which would
// let one name be spelled two ways, never decodes.
std::size_t utf16_from_utf8(const char* bytes, std::size_t n, char16_t* out) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t w = 0;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = in[i];
    std::size_t length = 1;
    char32_t c = lead;
    char32_t lowest = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      c = lead & 0x1F;
      lowest = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      c = lead & 0x0F;
      lowest = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
      c = lead & 0x07;
      lowest = 0x10000;
    } else if (lead >= 0x80) {
      length = 0;  // a continuation byte with no lead, or 0xF8 and up
    }
    bool whole = length > 0 && n - i >= length;
    for (std::size_t k = 1; whole && k < length; ++k) {
      if (is_continuation(in[i + k])) {
        c = (c << 6) | (in[i + k] & 0x3F);
      } else {
        whole = false;
      }
    }
    if (!whole || c < lowest || c > 0x10FFFF) {
      out[w++] = u'\uFFFD';
      ++i;
      continue;
    }
    i += length;
    if (c >= 0x10000) {
      out[w++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[w++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[w++] = static_cast<char16_t>(c);
    }
  }
  return w;
}

}  // namespace eolswap
