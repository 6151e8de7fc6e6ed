// SPDX-License-Identifier: BSD-2-Clause
#include "convert.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kernels/kernel.h"
#include "platform.h"
#include "stream.h"
#include "test_util.h"

namespace eolswap {

// Names the kernel in test output (found by argument-dependent lookup).
void PrintTo(Kernel kernel, std::ostream* os) { *os << kernel_name(kernel); }

namespace {

using testing_util::model_convert;
using testing_util::random_breaky;

std::string convert_whole(const std::string& in, int next, BreakStyle style) {
  std::vector<unsigned char> out(2 * in.size() + 1);
  const std::size_t n =
      convert_bytes(reinterpret_cast<const unsigned char*>(in.data()),
                    in.size(), next, out.data(), style);
  return std::string(reinterpret_cast<const char*>(out.data()), n);
}

constexpr BreakStyle every_style[] = {style_unix, style_dos, style_mac};

// What this build compiled, read from the compiler's own macros: the x86
// kernels need GCC or clang; MinGW's GCC has the 16-byte kernel only, and
// the AVX-512 kernel needs x86-64.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
constexpr bool x86_build = true;
#else
constexpr bool x86_build = false;
#endif
#if defined(_WIN32) && !defined(__clang__)
constexpr bool wide_build = false;
#else
constexpr bool wide_build = x86_build;
#endif
#if defined(__x86_64__)
constexpr bool avx512_build = wide_build;
#else
constexpr bool avx512_build = false;
#endif

// What this processor has, asked here rather than of the dispatch.
struct Features {
  bool avx2 = false;
  bool avx512 = false;  // F, BW, VL and VBMI2, with BMI2
};

Features processor_features() {
  Features f;
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  __builtin_cpu_init();
  const bool popcnt = __builtin_cpu_supports("popcnt");
  f.avx2 = popcnt && __builtin_cpu_supports("avx2");
  f.avx512 = popcnt && __builtin_cpu_supports("avx512f") &&
             __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512vbmi2") &&
             __builtin_cpu_supports("bmi2");
#endif
  return f;
}

// Whether the kernel must be available in this build on this processor.
bool expected_available(Kernel kernel) {
  const Features f = processor_features();
  switch (kernel) {
    case Kernel::automatic:
    case Kernel::scalar:
    case Kernel::portable:
      return true;
    case Kernel::avx2:
      return wide_build && f.avx2;
    case Kernel::avx512:
      return avx512_build && f.avx512;
  }
  return false;
}

// The function each kernel's name stands for, from the declarations.
KernelFunction function_of(Kernel kernel) {
  switch (kernel) {
#if !(defined(_WIN32) && !defined(__clang__)) && \
    (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    case Kernel::avx2:
      return convert_avx2;
#endif
#if !(defined(_WIN32) && !defined(__clang__)) && defined(__x86_64__) && \
    defined(__GNUC__)
    case Kernel::avx512:
      return convert_avx512;
#endif
    case Kernel::scalar:
      return convert_scalar;
    case Kernel::portable:
      return convert_portable;
    default:
      return nullptr;
  }
}

// The automatic choice for each target style as the README gives it: the
// first kernel in the style's list that this build and processor have.
Kernel documented_choice(BreakStyle style) {
  // The portable kernel outruns AVX2 on UNIX targets only.
  static const Kernel to_unix[] = {Kernel::avx512, Kernel::portable,
                                   Kernel::avx2, Kernel::scalar};
  static const Kernel to_others[] = {Kernel::avx512, Kernel::avx2,
                                     Kernel::portable, Kernel::scalar};
  for (Kernel kernel : style == style_unix ? to_unix : to_others) {
    if (expected_available(kernel)) return kernel;
  }
  return Kernel::scalar;
}

TEST(KernelChoice, AvailableExactlyWhereBuiltAndRun) {
  for (Kernel kernel : every_kernel) {
    EXPECT_EQ(kernel_available(kernel), expected_available(kernel))
        << kernel_name(kernel);
  }
}

TEST(KernelChoice, AutomaticTakesTheDocumentedKernelPerStyle) {
  ASSERT_TRUE(set_kernel(Kernel::automatic));
  for (BreakStyle style : every_style) {
    SCOPED_TRACE(style_names[style]);
    const Kernel want = documented_choice(style);
    EXPECT_EQ(current_kernel(style), want) << "want " << kernel_name(want);
    EXPECT_EQ(active_function(style), function_of(want));
  }
}

TEST(KernelChoice, ForcedKernelRunsForEveryStyle) {
  for (Kernel kernel : every_kernel) {
    SCOPED_TRACE(kernel_name(kernel));
    if (!set_kernel(kernel)) continue;  // availability has its own test
    for (BreakStyle style : every_style) {
      EXPECT_EQ(current_kernel(style), kernel);
      EXPECT_EQ(active_function(style), function_of(kernel));
    }
  }
  set_kernel(Kernel::automatic);
}

// Runs each test once per kernel, with that kernel forced. A kernel that
// this build and processor should have and do not is a failure; the others
// are skipped.
class ConvertKernel : public ::testing::TestWithParam<Kernel> {
 protected:
  void SetUp() override {
    if (!set_kernel(GetParam())) {
      if (expected_available(GetParam()))
        FAIL() << kernel_name(GetParam()) << " should be available here";
      GTEST_SKIP() << kernel_name(GetParam()) << " is not available here";
    }
  }
  void TearDown() override { set_kernel(Kernel::automatic); }
};

INSTANTIATE_TEST_SUITE_P(EveryKernel, ConvertKernel,
                         ::testing::ValuesIn(every_kernel),
                         [](const ::testing::TestParamInfo<Kernel>& param) {
                           return std::string(kernel_name(param.param));
                         });

std::string times(const std::string& s, std::size_t count) {
  std::string out;
  for (std::size_t k = 0; k < count; ++k) out += s;
  return out;
}

struct SequenceCase {
  const char* name;
  std::string in;
  std::string unix_out, dos_out, mac_out;
};

// Each input sequence and what it becomes in each target style.
const SequenceCase sequence_cases[] = {
    {"empty", "", "", "", ""},
    {"crlf is one break", "a\r\nb", "a\nb", "a\r\nb", "a\rb"},
    {"lone cr is one break", "a\rb", "a\nb", "a\r\nb", "a\rb"},
    {"lf is one break", "a\nb", "a\nb", "a\r\nb", "a\rb"},
    {"lf cr is two breaks", "a\n\rb", "a\n\nb", "a\r\n\r\nb", "a\r\rb"},
    {"cr cr lf is two breaks", "\r\r\n", "\n\n", "\r\n\r\n", "\r\r"},
    {"cr at the very end", "ab\r", "ab\n", "ab\r\n", "ab\r"},
    {"blank dos lines", "\r\n\r\n", "\n\n", "\r\n\r\n", "\r\r"},
    {"other bytes untouched", std::string("\0\f\v\x1a\x80\xff", 6),
     std::string("\0\f\v\x1a\x80\xff", 6), std::string("\0\f\v\x1a\x80\xff", 6),
     std::string("\0\f\v\x1a\x80\xff", 6)},
    // Runs of breaks, which some kernels convert byte by byte and which at
    // some offsets straddle a chunk boundary or fill a whole chunk.
    {"every kind of break in a row", "\n\r\n\r\r\n\n\r", times("\n", 6),
     times("\r\n", 6), times("\r", 6)},
    {"crlf run longer than a chunk", times("\r\n", 20), times("\n", 20),
     times("\r\n", 20), times("\r", 20)},
    {"lf run longer than a chunk", times("\n", 40), times("\n", 40),
     times("\r\n", 40), times("\r", 40)},
    {"cr run longer than a chunk", times("\r", 40), times("\n", 40),
     times("\r\n", 40), times("\r", 40)},
};

TEST_P(ConvertKernel, SequenceTable) {
  for (const SequenceCase& c : sequence_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(convert_whole(c.in, -1, style_unix), c.unix_out);
    EXPECT_EQ(convert_whole(c.in, -1, style_dos), c.dos_out);
    EXPECT_EQ(convert_whole(c.in, -1, style_mac), c.mac_out);
  }
}

// The vector kernels handle only whole chunks away from the end of the
// input; each sequence is placed at every offset across the first chunks so
// that it meets every position in a chunk and every chunk boundary.
TEST_P(ConvertKernel, SequenceTableAtEveryOffset) {
  const std::string tail(80, 'y');
  for (const SequenceCase& c : sequence_cases) {
    for (std::size_t offset = 0; offset < 100; ++offset) {
      SCOPED_TRACE(::testing::Message() << c.name << " at " << offset);
      const std::string head(offset, 'x');
      const std::string in = head + c.in + tail;
      ASSERT_EQ(convert_whole(in, -1, style_unix), head + c.unix_out + tail);
      ASSERT_EQ(convert_whole(in, -1, style_dos), head + c.dos_out + tail);
      ASSERT_EQ(convert_whole(in, -1, style_mac), head + c.mac_out + tail);
    }
  }
}

// Text of one kind, n bytes long, ending in a byte that is not a break so
// that nothing after it pairs with its end.
std::string head_of(const std::string& unit, std::size_t n) {
  std::string s;
  while (s.size() < n) s += unit;
  s.resize(n);
  if (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n')) s[n - 1] = 'x';
  return s;
}

// The same sequences after two chunks of the widest kernel (64 bytes) of
// text of each kind, so that each DOS expansion is already in the loop for
// that kind (text in DOS form is copied, UNIX text expanded without a look
// for CRs, anything else in the general loop) when the sequence comes, at
// every position of the next two chunks; followed by whole chunks or by
// nothing, so that it meets both the vector bodies and the tails.
TEST_P(ConvertKernel, SequenceTableInEveryLoop) {
  const char* const units[] = {"x", "ab\r\n", "abc\n", "ab\r", "a\r\nb\nc\r"};
  const std::string tails[] = {std::string(80, 'y'), ""};
  for (const char* unit : units) {
    for (std::size_t n = 128; n < 128 + 2 * 64 + 8; ++n) {
      const std::string head = head_of(unit, n);
      for (const std::string& tail : tails) {
        for (const SequenceCase& c : sequence_cases) {
          SCOPED_TRACE(::testing::Message()
                       << c.name << " after " << n << " bytes of "
                       << ::testing::PrintToString(std::string(unit))
                       << (tail.empty() ? ", at the end" : ""));
          const std::string in = head + c.in + tail;
          ASSERT_EQ(convert_whole(in, -1, style_unix),
                    model_convert(head, style_unix) + c.unix_out + tail);
          ASSERT_EQ(convert_whole(in, -1, style_dos),
                    model_convert(head, style_dos) + c.dos_out + tail);
          ASSERT_EQ(convert_whole(in, -1, style_mac),
                    model_convert(head, style_mac) + c.mac_out + tail);
        }
      }
    }
  }
}

// What convert_bytes must give for in followed by the byte next (-1: the
// end), derived from the whole-buffer rule: convert in plus that byte and
// remove what the byte itself becomes.
std::string model_with_next(const std::string& in, int next, BreakStyle style) {
  if (next < 0) return model_convert(in, style);
  const std::string own =
      model_convert(std::string(1, static_cast<char>(next)), style);
  const std::string all = model_convert(in + static_cast<char>(next), style);
  return all.substr(0, all.size() - own.size());
}

// Text of short lines with every kind of break, as files really hold.
std::string random_text(std::mt19937* rng, std::size_t size) {
  static const char* const breaks[] = {"\r\n", "\n", "\r", "\n\r"};
  std::string s;
  while (s.size() < size) {
    const std::size_t line = (*rng)() % 40;
    for (std::size_t k = 0; k < line; ++k)
      s += static_cast<char>('a' + (*rng)() % 26);
    s += breaks[(*rng)() % 4];
  }
  s.resize(size);
  return s;
}

// Runs of text in one convention each (DOS, UNIX, Mac, or mixed), so that
// a kernel's separate ways with text already in one form, and its changes
// between them at any offset, all meet the rule.
std::string random_runs(std::mt19937* rng, std::size_t size) {
  static const std::vector<std::string> conventions[] = {
      {"\r\n"}, {"\n"}, {"\r"}, {"\r\n", "\n", "\r", "\n\r"}};
  std::string s;
  while (s.size() < size) {
    const auto& breaks = conventions[(*rng)() % 4];
    const std::size_t run = (*rng)() % 200;
    for (std::size_t end = s.size() + run; s.size() < end;) {
      const std::size_t line = (*rng)() % 80;
      for (std::size_t k = 0; k < line; ++k)
        s += static_cast<char>('a' + (*rng)() % 26);
      s += breaks[(*rng)() % breaks.size()];
    }
  }
  s.resize(size);
  return s;
}

std::string random_bytes(std::mt19937* rng, std::size_t size) {
  std::string s(size, ' ');
  for (char& c : s) c = static_cast<char>((*rng)() & 0xFF);
  return s;
}

// Each kernel against the whole-buffer rule on inputs of every length up to
// a few chunks, at odd addresses, with every kind of byte after the block.
// The output area is exactly 2*n bytes followed by guard bytes that must stay
// untouched, since the kernels store whole vectors.
TEST_P(ConvertKernel, KernelMatchesModel) {
  std::mt19937 rng(4096);
  const int nexts[] = {-1, lf, cr, 'z'};
  constexpr std::size_t guard = 64;
  for (int round = 0; round < 4000; ++round) {
    const int kind = round % 4;
    const std::size_t n = rng() % (kind == 3 ? 700 : 300);
    const std::string in = kind == 0   ? random_breaky(&rng, n)
                           : kind == 1 ? random_text(&rng, n)
                           : kind == 2 ? random_bytes(&rng, n)
                                       : random_runs(&rng, n);
    const int next = nexts[rng() % 4];
    const std::size_t in_shift = rng() % 4;
    const std::size_t out_shift = rng() % 4;
    std::vector<unsigned char> in_area(in_shift + n);
    if (n > 0) std::memcpy(in_area.data() + in_shift, in.data(), n);
    for (BreakStyle style : {style_unix, style_dos, style_mac}) {
      SCOPED_TRACE(::testing::Message()
                   << "round " << round << " size " << n << " next " << next
                   << " style " << style);
      std::vector<unsigned char> out_area(out_shift + 2 * n + guard, 0xA5);
      unsigned char* out = out_area.data() + out_shift;
      const std::size_t got =
          convert_bytes(in_area.data() + in_shift, n, next, out, style);
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(out), got),
                model_with_next(in, next, style));
      for (std::size_t k = 0; k < guard; ++k)
        ASSERT_EQ(out[2 * n + k], 0xA5) << "written past 2*n at " << k;
    }
  }
}

TEST_P(ConvertKernel, TargetFormPassesThroughUnchanged) {
  const std::string unix_text = "one\ntwo\n\nthree\x80\n";
  const std::string dos_text = "one\r\ntwo\r\n\r\nthree\x80\r\n";
  const std::string mac_text = "one\rtwo\r\rthree\x80\r";
  EXPECT_EQ(convert_whole(unix_text, -1, style_unix), unix_text);
  EXPECT_EQ(convert_whole(dos_text, -1, style_dos), dos_text);
  EXPECT_EQ(convert_whole(mac_text, -1, style_mac), mac_text);
}

TEST_P(ConvertKernel, CrEndingBlockLooksAtNextByte) {
  // The LF that opens the next block gives the break; the CR gives none.
  EXPECT_EQ(convert_whole("a\r", '\n', style_unix), "a");
  EXPECT_EQ(convert_whole("a\r", '\n', style_dos), "a");
  EXPECT_EQ(convert_whole("a\r", 'x', style_unix), "a\n");
  EXPECT_EQ(convert_whole("a\r", -1, style_dos), "a\r\n");
  // Only a CR looks ahead: an LF ending the block is a break whatever follows.
  EXPECT_EQ(convert_whole("a\n", '\r', style_mac), "a\r");
}

TEST_P(ConvertKernel, AllLineFeedsFillOutputBlockExactly) {
  const std::string in(input_block_size, '\n');
  const std::string out = convert_whole(in, -1, style_dos);
  ASSERT_EQ(out.size(), output_block_size);
  for (std::size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out.substr(i, 2), "\r\n") << "at " << i;
  }
}

// Runs convert_stream from a temporary file to another and returns what
// reached the output.
std::string convert_via_stream(const std::string& in, BreakStyle style) {
  std::FILE* src = testing_util::temp_file_with(in);
  std::FILE* dst = std::tmpfile();
  EXPECT_TRUE(src != nullptr && dst != nullptr);
  InputStream input;
  input.fd = fileno(src);
  OutputStream output;
  output.fd = fileno(dst);
  std::vector<unsigned char> in_block(input_block_size);
  std::vector<unsigned char> out_block(output_block_size);
  EXPECT_EQ(
      convert_stream(&input, output, in_block.data(), out_block.data(), style),
      ConvertResult::done);
  std::string out = testing_util::read_all(dst);
  std::fclose(src);
  std::fclose(dst);
  return out;
}

TEST_P(ConvertKernel, CrLfSplitAcrossBlocksIsOneBreak) {
  std::string in(input_block_size - 1, 'x');
  in += "\r\nend\r";
  const std::string want = std::string(input_block_size - 1, 'x') + "\nend\n";
  EXPECT_EQ(convert_via_stream(in, style_unix), want);
  // A lone CR at the boundary stays a break.
  in[input_block_size] = 'y';
  EXPECT_EQ(convert_via_stream(in, style_unix),
            std::string(input_block_size - 1, 'x') + "\nyend\n");
}

// The block loop, with its reads, look-ahead and writes, must agree with the
// whole-buffer rule on inputs dense with breaks, including a CR at every
// block boundary.
TEST_P(ConvertKernel, BlockLoopMatchesModel) {
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<std::size_t> size(0, 3 * input_block_size + 7);
  for (int round = 0; round < 120; ++round) {
    std::string in = random_breaky(&rng, size(rng));
    for (std::size_t b = input_block_size - 1; b < in.size();
         b += input_block_size)
      in[b] = '\r';
    for (BreakStyle style : {style_unix, style_dos, style_mac}) {
      SCOPED_TRACE(::testing::Message() << "round " << round << " style "
                                        << style << " size " << in.size());
      ASSERT_EQ(convert_via_stream(in, style), model_convert(in, style));
    }
  }
}

// The check that spares a file in the target form its rewrite agrees with
// the rule, for inputs and for their conversions, split into two blocks at
// every point and given the look-ahead the caller gives.
TEST(ConversionChanges, AgreesWithModelAtEverySplit) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 200; ++round) {
    const std::string raw = random_breaky(&rng, rng() % 24);
    for (BreakStyle style : {style_unix, style_dos, style_mac}) {
      for (const std::string& in : {raw, model_convert(raw, style)}) {
        const auto* p = reinterpret_cast<const unsigned char*>(in.data());
        for (std::size_t b = 0; b <= in.size(); ++b) {
          const int next = b > 0 && b < in.size() && p[b - 1] == '\r' ? p[b] : -1;
          const bool got =
              conversion_changes(p, b, -1, next, style) ||
              conversion_changes(p + b, in.size() - b, b > 0 ? p[b - 1] : -1,
                                 -1, style);
          ASSERT_EQ(got, model_convert(in, style) != in)
              << "style " << style << " split " << b << " of " << in.size();
        }
      }
    }
  }
}

// An anonymous pipe whose two descriptors the platform's reads and writes
// accept; binary on Windows, like everything the program opens.
int open_pipe(int fds[2]) {
#ifdef _WIN32
  return _pipe(fds, 4096, _O_BINARY);
#else
  return pipe(fds);
#endif
}

// A pipe that delivers a few bytes at a time, with pauses, still gives full
// blocks, and the look-ahead byte still opens the next block.
TEST(Stream, SlowPipeFillsBlocks) {
  int fds[2];
  ASSERT_EQ(open_pipe(fds), 0);
  std::string in(input_block_size - 1, 'z');
  in += "\r\nrest";
  std::thread writer([&] {
    for (std::size_t i = 0; i < in.size(); i += 1000) {
      const std::size_t len = std::min<std::size_t>(1000, in.size() - i);
      ASSERT_EQ(platform::write_some(
                    fds[1],
                    reinterpret_cast<const unsigned char*>(in.data()) + i, len),
                static_cast<long>(len));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    platform::close_fd(fds[1]);
  });
  InputStream input;
  input.fd = fds[0];
  std::vector<unsigned char> block(input_block_size);
  EXPECT_EQ(read_block(&input, block.data(), block.size()), input_block_size);
  EXPECT_EQ(peek_next_byte(&input), '\n');
  EXPECT_EQ(peek_next_byte(&input), '\n');  // peeking twice consumes nothing
  EXPECT_EQ(read_block(&input, block.data(), block.size()), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data()), 5), "\nrest");
  EXPECT_EQ(read_block(&input, block.data(), block.size()), 0u);
  EXPECT_FALSE(input.failed);
  writer.join();
  platform::close_fd(fds[0]);
}

TEST(Stream, ReadErrorKeepsBytesAndIsReported) {
  InputStream input;
  input.fd = -1;  // every read fails with EBADF
  std::vector<unsigned char> block(input_block_size);
  EXPECT_EQ(read_block(&input, block.data(), block.size()), 0u);
  EXPECT_TRUE(input.failed);

  // A failing read after a peeked byte still delivers that byte.
  InputStream peeked;
  peeked.fd = -1;
  peeked.pending = 'q';
  EXPECT_EQ(read_block(&peeked, block.data(), block.size()), 1u);
  EXPECT_EQ(block[0], 'q');
  EXPECT_TRUE(peeked.failed);
}

}  // namespace
}  // namespace eolswap
