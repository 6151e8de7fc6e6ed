#ifndef EOLSWAP_CONVERT_KERNEL_H_
#define EOLSWAP_CONVERT_KERNEL_H_

// The interchangeable implementations behind convert_bytes. The program
// takes the fastest one that the processor runs; the tests and the
// benchmark force each one in turn through set_kernel. Nothing here is part
// of the program's interface.

#include <cstddef>

#include "convert.h"

// The x86 kernels need GCC-style vector intrinsics and target attributes.
// MinGW's GCC cannot align the stack beyond 16 bytes, so it gets the 16-byte
// kernel only; 32- and 64-byte vectors spilled to the stack would fault.
#if (defined(__x86_64__) || defined(__i386__)) && \
    (defined(__GNUC__) || defined(__clang__))
#define EOLSWAP_X86_KERNELS 1
#if !defined(_WIN32) || defined(__clang__)
#define EOLSWAP_WIDE_KERNELS 1
#endif
#endif

namespace eolswap {

enum class Kernel : int {
  automatic = 0,  // the fastest available one
  scalar = 1,     // one byte at a time, any processor
  sse2 = 2,       // 16-byte scan, copies chunks without line breaks whole
  ssse3 = 3,      // branch-free, 16 bytes at a time, by pshufb tables
  avx2 = 4,       // the same, 32 bytes at a time
  avx512 = 5,     // 64 bytes at a time, vpcompressb/vpexpandb
};

// Every concrete kernel, plainest first.
inline constexpr Kernel every_kernel[] = {
    Kernel::scalar, Kernel::sse2, Kernel::ssse3, Kernel::avx2, Kernel::avx512};

// A short lower-case name: "scalar", "sse2", "ssse3", "avx2", "avx512",
// "automatic".
const char* kernel_name(Kernel kernel);

// True when this build contains the kernel and this processor runs it.
bool kernel_available(Kernel kernel);

// Makes convert_bytes use the kernel from now on (automatic: the fastest
// available). Returns false, changing nothing, when it is not available.
bool set_kernel(Kernel kernel);

// The kernel convert_bytes uses now (never automatic).
Kernel current_kernel();

// The implementations. Each has the contract of convert_bytes, and each may
// store whole vectors anywhere in out[0..2*n), beyond the count it returns,
// so out must always have room for 2*n bytes.
std::size_t convert_scalar(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style);
#if defined(EOLSWAP_X86_KERNELS)
bool x86_kernel_available(Kernel kernel);
std::size_t convert_sse2(const unsigned char* in, std::size_t n, int next,
                         unsigned char* out, BreakStyle style);
std::size_t convert_ssse3(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style);
#endif
#if defined(EOLSWAP_WIDE_KERNELS)
std::size_t convert_avx2(const unsigned char* in, std::size_t n, int next,
                         unsigned char* out, BreakStyle style);
#endif
#if defined(EOLSWAP_WIDE_KERNELS) && defined(__x86_64__)
std::size_t convert_avx512(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style);
#endif

}  // namespace eolswap

#endif  // EOLSWAP_CONVERT_KERNEL_H_
