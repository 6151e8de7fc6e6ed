// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_KERNELS_KERNEL_H_
#define EOLSWAP_KERNELS_KERNEL_H_

// The interchangeable implementations behind convert_bytes. The program
// takes, for each target style, the fastest one that the processor runs;
// the tests and the benchmark force each one in turn through set_kernel.
// Nothing here is part of the program's interface.

#include <cstddef>

#include "line_break.h"

// The x86 kernels need GCC-style vector intrinsics and target attributes.
// MinGW's GCC cannot align the stack beyond 16 bytes, so it gets the 16-byte
// kernel only; 32- and 64-byte vectors spilled to the stack would fault.
// The AVX-512 kernel needs 64-bit registers for its 64-bit masks.
#if (defined(__x86_64__) || defined(__i386__)) && \
    (defined(__GNUC__) || defined(__clang__))
#define EOLSWAP_X86_KERNELS 1
#if !defined(_WIN32) || defined(__clang__)
#define EOLSWAP_WIDE_KERNELS 1
#if defined(__x86_64__)
#define EOLSWAP_AVX512_KERNEL 1
#endif
#endif
#endif

namespace eolswap {

enum class Kernel : int {
  automatic = 0,  // the fastest available one for each target style
  scalar,         // one byte at a time, any processor
  portable,       // 16-byte chunks in generic vectors, any processor
  avx2,           // branch-free, 32 bytes at a time, by pshufb tables
  avx512,         // 64 bytes at a time, vpcompressb/vpexpandb
};

// Every concrete kernel, plainest first, whether this build has it or not.
inline constexpr Kernel every_kernel[] = {Kernel::scalar, Kernel::portable,
                                          Kernel::avx2, Kernel::avx512};

// A short lower-case name: "scalar", "portable", "avx2",
// "avx512", "automatic".
const char* kernel_name(Kernel kernel);

// True when this build contains the kernel and this processor runs it.
bool kernel_available(Kernel kernel);

// Makes convert_bytes use the kernel for every style from now on
// (automatic: the fastest available for each style). Returns false,
// changing nothing, when it is not available.
bool set_kernel(Kernel kernel);

// The kernel convert_bytes uses now for the target style (never automatic).
Kernel current_kernel(BreakStyle style);

// Each implementation has the contract of convert_bytes, and each may
// store whole vectors anywhere in out[0..2*n), beyond the count it returns,
// so out must always have room for 2*n bytes.
using KernelFunction = std::size_t (*)(const unsigned char* in, std::size_t n,
                                       int next, unsigned char* out,
                                       BreakStyle style);

// The implementation convert_bytes calls for the target style; the first
// call of the one it gives examines the processor.
KernelFunction active_function(BreakStyle style);

std::size_t convert_scalar(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style);
std::size_t convert_portable(const unsigned char* in, std::size_t n, int next,
                             unsigned char* out, BreakStyle style);
#if defined(EOLSWAP_WIDE_KERNELS)
std::size_t convert_avx2(const unsigned char* in, std::size_t n, int next,
                         unsigned char* out, BreakStyle style);
#endif
#if defined(EOLSWAP_AVX512_KERNEL)
std::size_t convert_avx512(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style);
#endif

}  // namespace eolswap

#endif  // EOLSWAP_KERNELS_KERNEL_H_
