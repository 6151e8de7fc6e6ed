// SPDX-License-Identifier: BSD-2-Clause
// The block loop: the input is cut into reads of random sizes and each piece
// converted on its own, with the look-ahead answer the loop would give at
// its end. Together the pieces must give what the whole-buffer rule gives.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "convert.h"
#include "convert_model.h"
#include "fuzz_check.h"
#include "kernels/kernel.h"

namespace {

using eolswap::BreakStyle;
using eolswap::convert_bytes;
using eolswap::fuzz::Choices;
using eolswap::testing_util::model_convert;

// Converts bytes[0..n) held in a heap block of exactly n bytes, into a heap
// block of exactly 2*n bytes, so that AddressSanitizer catches any access
// outside either.
std::string convert_exact(const char* bytes, std::size_t n, int next,
                          BreakStyle style) {
  std::unique_ptr<unsigned char[]> in(new unsigned char[n]);
  std::unique_ptr<unsigned char[]> out(new unsigned char[2 * n]);
  if (n > 0) std::memcpy(in.get(), bytes, n);
  const std::size_t out_len =
      convert_bytes(in.get(), n, next, out.get(), style);
  FUZZ_CHECK(out_len <= 2 * n);
  return std::string(reinterpret_cast<const char*>(out.get()), out_len);
}

std::string whole(const std::string& in, BreakStyle style) {
  return convert_exact(in.data(), in.size(), -1, style);
}

// How long the next read is: a full block as the program reads it, a few
// bytes as a pipe may deliver them, or anything up to what is left.
std::size_t read_size(Choices* choices, std::size_t left) {
  std::size_t size = 0;
  switch (choices->between(0, 3)) {
    case 0:
      size = eolswap::input_block_size;
      break;
    case 1:
      size = choices->between(1, 16);
      break;
    case 2:
      size = choices->between(1, 300);
      break;
    default:
      size = choices->between(1, left);
      break;
  }
  return size < left ? size : left;
}

// The loop over blocks. At a block that ends in CR the look-ahead answer is
// the byte after it, or -1 at the end; at any other block it must not
// matter, so it is a random byte or -1.
std::string convert_in_pieces(const std::string& in, BreakStyle style,
                              Choices* choices) {
  std::string out;
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t n = read_size(choices, in.size() - at);
    const bool ends_in_cr = in[at + n - 1] == '\r';
    int next = static_cast<int>(choices->between(0, 256)) - 1;
    if (ends_in_cr)
      next = at + n < in.size() ? static_cast<unsigned char>(in[at + n]) : -1;
    out += convert_exact(in.data() + at, n, next, style);
    at += n;
  }
  return out;
}

std::string without_breaks(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// The form each style promises: UNIX has no CR, Mac no LF, and in DOS every
// CR is followed by LF and every LF follows a CR.
bool in_target_form(const std::string& s, BreakStyle style) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool cr = s[i] == '\r', lf = s[i] == '\n';
    if (style == eolswap::style_unix && cr) return false;
    if (style == eolswap::style_mac && lf) return false;
    if (style == eolswap::style_dos) {
      if (cr && (i + 1 == s.size() || s[i + 1] != '\n')) return false;
      if (lf && (i == 0 || s[i - 1] != '\r')) return false;
    }
  }
  return true;
}

// Makes convert_bytes use the i-th kernel available, counted from 0; false,
// with the automatic choice restored, when there is none left. Every kernel
// that the processor runs is put through the same checks.
bool use_kernel(std::size_t i) {
  std::size_t seen = 0;
  for (eolswap::Kernel kernel : eolswap::every_kernel)
    if (eolswap::kernel_available(kernel) && seen++ == i)
      return eolswap::set_kernel(kernel);
  eolswap::set_kernel(eolswap::Kernel::automatic);
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // A few blocks show every boundary case; longer inputs only cost time.
  if (size > 3 * eolswap::input_block_size + 64) return 0;
  Choices choices(eolswap::fuzz::take_seed(&data, &size));
  const std::string in(reinterpret_cast<const char*>(data), size);

  constexpr BreakStyle styles[] = {eolswap::style_unix, eolswap::style_dos,
                                   eolswap::style_mac};
  const std::string want[] = {model_convert(in, styles[0]),
                              model_convert(in, styles[1]),
                              model_convert(in, styles[2])};
  // What every output must be, seen without the model: each style's form,
  // with the bytes that are not breaks unchanged and in order.
  const std::string text = without_breaks(in);
  for (std::size_t s = 0; s < 3; ++s) {
    FUZZ_CHECK(in_target_form(want[s], styles[s]));
    FUZZ_CHECK(without_breaks(want[s]) == text);
  }
  for (std::size_t kernel = 0; use_kernel(kernel); ++kernel) {
    for (std::size_t s = 0; s < 3; ++s) {
      const std::string out = convert_in_pieces(in, styles[s], &choices);
      FUZZ_CHECK(out == want[s]);
      // Output already in a style stays as it is, and holds the same breaks:
      // converting it on to another style gives what the input gives.
      const std::size_t then = choices.between(0, 2);
      FUZZ_CHECK(whole(out, styles[then]) == want[then]);
    }
  }
  return 0;
}
