// SPDX-License-Identifier: BSD-2-Clause
// Throughput of convert_bytes on one 4096-byte block, for every kernel this
// machine runs and every target style, on deterministic data.
//
//   build/bench/eolswap_kernel_bench --benchmark_min_time=0.2
//
// Names read data/target/kernel; bytes_per_second counts input bytes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert.h"
#include "kernels/kernel.h"

namespace eolswap {
namespace {

// A small fixed generator, so that the data is the same everywhere.
class Bytes {
 public:
  explicit Bytes(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next(std::uint32_t bound) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>((state_ >> 32) % bound);
  }

 private:
  std::uint64_t state_;
};

// Lines of 0 to 120 printable bytes, each ended by one of the given breaks.
std::vector<unsigned char> text(std::vector<std::string> breaks,
                                std::uint64_t seed) {
  Bytes rng(seed);
  std::vector<unsigned char> block;
  while (block.size() < input_block_size) {
    const std::uint32_t line = rng.next(121);
    for (std::uint32_t k = 0; k < line; ++k)
      block.push_back(static_cast<unsigned char>(' ' + rng.next(95)));
    const std::string& brk =
        breaks[rng.next(static_cast<std::uint32_t>(breaks.size()))];
    block.insert(block.end(), brk.begin(), brk.end());
  }
  block.resize(input_block_size);
  return block;
}

std::vector<unsigned char> random_block(std::uint64_t seed) {
  Bytes rng(seed);
  std::vector<unsigned char> block(input_block_size);
  for (unsigned char& b : block) b = static_cast<unsigned char>(rng.next(256));
  return block;
}

struct Data {
  const char* name;
  std::vector<unsigned char> block;
};

void convert_one_block(benchmark::State& state, Kernel kernel,
                       const std::vector<unsigned char>* block,
                       BreakStyle style) {
  std::vector<unsigned char> out(output_block_size);
  set_kernel(kernel);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        convert_bytes(block->data(), block->size(), -1, out.data(), style));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(block->size()));
}

// Registers data/target/kernel for every kernel this machine runs.
void register_benchmarks() {
  static const std::vector<Data> data = {
      {"dos_text", text({"\r\n"}, 1)},
      {"unix_text", text({"\n"}, 2)},
      {"mixed_text", text({"\r\n", "\r", "\n", "\n\r"}, 3)},
      {"all_lf", std::vector<unsigned char>(input_block_size, lf)},
      {"random", random_block(4)},
  };
  const struct {
    const char* name;
    BreakStyle style;
  } targets[] = {
      {"to_unix", style_unix}, {"to_dos", style_dos}, {"to_mac", style_mac}};
  set_kernel(Kernel::automatic);
  for (const auto& t : targets) {
    benchmark::AddCustomContext(std::string("automatic kernel ") + t.name,
                                kernel_name(current_kernel(t.style)));
  }
  for (Kernel kernel : every_kernel) {
    if (!kernel_available(kernel)) continue;
    for (const Data& d : data) {
      for (const auto& t : targets) {
        // A block of nothing but LF is a case only for DOS, where it doubles.
        if (std::string(d.name) == "all_lf" && t.style != style_dos) continue;
        const std::string name =
            std::string(d.name) + "/" + t.name + "/" + kernel_name(kernel);
        benchmark::RegisterBenchmark(name.c_str(), convert_one_block, kernel,
                                     &d.block, t.style);
      }
    }
  }
}

}  // namespace
}  // namespace eolswap

int main(int argc, char** argv) {
  eolswap::register_benchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
