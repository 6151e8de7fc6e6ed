// SPDX-License-Identifier: BSD-2-Clause
// Which kernel converts the blocks of each target style.

#include <algorithm>
#include <atomic>
#include <iterator>

#include "kernels/kernel.h"

namespace eolswap {
namespace {

bool any_processor() { return true; }

#if defined(EOLSWAP_WIDE_KERNELS)
bool has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
#endif

#if defined(EOLSWAP_AVX512_KERNEL)
bool has_avx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}
#endif

// A kernel of this build: its function, whether the processor runs it, and
// its speed for UNIX, DOS and Mac targets.
struct Entry {
  Kernel kernel;
  KernelFunction function;
  bool (*runs)();
  double speed[3];
};

// The automatic choice takes, for each target style on its own, the kernel
// with the highest speed among those the processor runs: the narrower ones
// win some cases, and a wider kernel is not taken for its width alone. Each
// speed is the geometric mean, in GB/s, of the kernel benchmark
// (bench/kernel_bench.cc) over its four inputs (dos_text, unix_text,
// mixed_text, random) for that target, all kernels in one run on one
// x86-64 processor with AVX-512 VBMI2; the order, not the figure, is what
// counts. So a processor with AVX2 alone converts to UNIX with the portable
// kernel and to DOS and Mac with AVX2. A kernel that measured no faster than
// a narrower one for any style (SSE2, SSSE3) is left out of the build
// instead. Scalar comes first, and is the choice only if nothing else runs.
constexpr Entry kernels[] = {
    {Kernel::scalar, convert_scalar, any_processor, {1.5, 1.2, 1.5}},
    {Kernel::portable, convert_portable, any_processor, {8.9, 6.4, 7.4}},
#if defined(EOLSWAP_WIDE_KERNELS)
    {Kernel::avx2, convert_avx2, has_avx2, {8.0, 9.0, 7.6}},
#endif
#if defined(EOLSWAP_AVX512_KERNEL)
    {Kernel::avx512, convert_avx512, has_avx512, {28.1, 15.0, 28.4}},
#endif
};

const Entry* find_entry(Kernel kernel) {
  const Entry* const found = std::find_if(
      std::begin(kernels), std::end(kernels),
      [kernel](const Entry& entry) { return entry.kernel == kernel; });
  return found == std::end(kernels) ? nullptr : found;
}

const Entry& fastest_entry(BreakStyle style) {
  const Entry* best = &kernels[0];
  if (style < style_unix || style > style_mac) return *best;
  const auto s = static_cast<std::size_t>(style - style_unix);
  for (const Entry& entry : kernels) {
    if (entry.speed[s] > best->speed[s] && entry.runs()) best = &entry;
  }
  return *best;
}

// The processor is examined on the first conversion, not at start-up, so a
// run that converts nothing (help, -i) never pays for it.
std::size_t convert_first(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style) {
  set_kernel(Kernel::automatic);
  return active_function(style)(in, n, next, out, style);
}

// One slot per BreakStyle; slot 0 (no style) stays with scalar.
constexpr BreakStyle every_style[] = {style_none, style_unix, style_dos,
                                      style_mac};
std::atomic<KernelFunction> active_functions[4] = {
    {convert_first}, {convert_first}, {convert_first}, {convert_first}};
std::atomic<Kernel> active_kernels[4] = {{Kernel::automatic},
                                         {Kernel::automatic},
                                         {Kernel::automatic},
                                         {Kernel::automatic}};

std::size_t slot(BreakStyle style) {
  return style > style_none && style <= style_mac
             ? static_cast<std::size_t>(style)
             : 0;
}

}  // namespace

const char* kernel_name(Kernel kernel) {
  switch (kernel) {
    case Kernel::automatic:
      return "automatic";
    case Kernel::scalar:
      return "scalar";
    case Kernel::portable:
      return "portable";
    case Kernel::avx2:
      return "avx2";
    case Kernel::avx512:
      return "avx512";
  }
  return "unknown";
}

bool kernel_available(Kernel kernel) {
  if (kernel == Kernel::automatic) return true;
  const Entry* entry = find_entry(kernel);
  return entry != nullptr && entry->runs();
}

bool set_kernel(Kernel kernel) {
  if (!kernel_available(kernel)) return false;
  for (BreakStyle style : every_style) {
    const Entry& entry = kernel == Kernel::automatic ? fastest_entry(style)
                                                     : *find_entry(kernel);
    active_kernels[slot(style)].store(entry.kernel, std::memory_order_relaxed);
    active_functions[slot(style)].store(entry.function,
                                        std::memory_order_relaxed);
  }
  return true;
}

Kernel current_kernel(BreakStyle style) {
  if (active_kernels[slot(style)].load(std::memory_order_relaxed) ==
      Kernel::automatic)
    set_kernel(Kernel::automatic);
  return active_kernels[slot(style)].load(std::memory_order_relaxed);
}

KernelFunction active_function(BreakStyle style) {
  return active_functions[slot(style)].load(std::memory_order_relaxed);
}

}  // namespace eolswap
