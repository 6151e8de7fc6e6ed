#include "convert.h"

#include <atomic>

#include "convert_kernel.h"

namespace eolswap {

const char* const style_names[4] = {"ERROR", "UNIX", "DOS", "Mac"};

std::size_t convert_scalar(const unsigned char* in, std::size_t n, int next,
                           unsigned char* out, BreakStyle style) {
  const unsigned char first = style == style_unix ? lf : cr;
  const bool pair = style == style_dos;
  std::size_t out_len = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = in[i];
    if (b == cr) {
      const int after = i + 1 < n ? in[i + 1] : next;
      if (after == lf) continue;
    }
    if (b == cr || b == lf) {
      out[out_len++] = first;
      if (pair) out[out_len++] = lf;
    } else {
      out[out_len++] = b;
    }
  }
  return out_len;
}

namespace {

using KernelFunction = std::size_t (*)(const unsigned char*, std::size_t, int,
                                       unsigned char*, BreakStyle);

KernelFunction kernel_function(Kernel kernel) {
  switch (kernel) {
#if defined(EOLSWAP_X86_KERNELS)
    case Kernel::sse2:
      return convert_sse2;
    case Kernel::ssse3:
      return convert_ssse3;
#endif
#if defined(EOLSWAP_WIDE_KERNELS)
    case Kernel::avx2:
      return convert_avx2;
#endif
#if defined(EOLSWAP_WIDE_KERNELS) && defined(__x86_64__)
    case Kernel::avx512:
      return convert_avx512;
#endif
    default:
      return convert_scalar;
  }
}

Kernel fastest_kernel() {
  Kernel best = Kernel::scalar;
  for (Kernel kernel : every_kernel) {
    if (kernel_available(kernel)) best = kernel;
  }
  return best;
}

// The processor is examined on the first conversion, not at start-up, so a
// run that converts nothing (help, -i) never pays for it.
std::size_t convert_first(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style);

std::atomic<KernelFunction> active_function{convert_first};
std::atomic<Kernel> active_kernel{Kernel::automatic};

std::size_t convert_first(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style) {
  set_kernel(Kernel::automatic);
  return active_function.load(std::memory_order_relaxed)(in, n, next, out,
                                                         style);
}

}  // namespace

const char* kernel_name(Kernel kernel) {
  switch (kernel) {
    case Kernel::automatic:
      return "automatic";
    case Kernel::scalar:
      return "scalar";
    case Kernel::sse2:
      return "sse2";
    case Kernel::ssse3:
      return "ssse3";
    case Kernel::avx2:
      return "avx2";
    case Kernel::avx512:
      return "avx512";
  }
  return "unknown";
}

bool kernel_available(Kernel kernel) {
  if (kernel == Kernel::automatic || kernel == Kernel::scalar) return true;
#if defined(EOLSWAP_X86_KERNELS)
  return x86_kernel_available(kernel);
#else
  return false;
#endif
}

bool set_kernel(Kernel kernel) {
  if (!kernel_available(kernel)) return false;
  if (kernel == Kernel::automatic) kernel = fastest_kernel();
  active_kernel.store(kernel, std::memory_order_relaxed);
  active_function.store(kernel_function(kernel), std::memory_order_relaxed);
  return true;
}

Kernel current_kernel() {
  if (active_kernel.load(std::memory_order_relaxed) == Kernel::automatic)
    set_kernel(Kernel::automatic);
  return active_kernel.load(std::memory_order_relaxed);
}

std::size_t convert_bytes(const unsigned char* in, std::size_t n, int next,
                          unsigned char* out, BreakStyle style) {
  return active_function.load(std::memory_order_relaxed)(in, n, next, out,
                                                         style);
}

std::size_t convert_block(InputStream* input, const unsigned char* input_block,
                          std::size_t n, unsigned char* output_block,
                          BreakStyle style) {
  // Only a CR that ends the block needs the byte after it; reading that byte
  // for every block would cost a system call per block for nothing.
  const int next =
      n > 0 && input_block[n - 1] == cr ? peek_next_byte(input) : -1;
  return convert_bytes(input_block, n, next, output_block, style);
}

ConvertResult convert_stream(InputStream* input, const OutputStream& output,
                             unsigned char* input_block,
                             unsigned char* output_block, BreakStyle style) {
  for (;;) {
    const std::size_t n = read_block(input, input_block, input_block_size);
    if (n == 0) break;
    const std::size_t out_len =
        convert_block(input, input_block, n, output_block, style);
    if (!write_all(output, output_block, out_len)) {
      return ConvertResult::write_failed;
    }
  }
  return input->failed ? ConvertResult::read_failed : ConvertResult::done;
}

}  // namespace eolswap
