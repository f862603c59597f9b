// Read throughput of the framework's binary file against a plain std::ifstream on the same
// 100 MB file: many small numeric reads (what the formats do) and large blocks.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/vhfile.h"

namespace {

constexpr size_t kFileSize = 100'000'000;
constexpr size_t kBlockSize = 0x10000;

// The file is written once per run and removed at exit.
const std::string& BenchFile() {
  static const std::string path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "tessaline-bench-XXXXXX").string();
    const int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) std::abort();
    ::close(descriptor);
    std::vector<char> block(kBlockSize);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
    std::ofstream out(name, std::ios::binary);
    for (size_t done = 0; done < kFileSize; done += block.size())
      out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), kFileSize - done)));
    static std::string removed;
    removed = name;
    std::atexit([] { std::filesystem::remove(removed); });
    return name;
  }();
  return path;
}

// Arg 1: mapped whole; arg 0: streamed through the 5 MiB private window.
template <class T>
void BM_VHFileValues(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    CVHFile file;
    file.SetMappingAllowed(state.range(0) != 0);
    if (!file.Open(path, CFile::kModeRead)) state.SkipWithError("open failed");
    T sum{};
    for (size_t i = 0; i < kFileSize / sizeof(T); ++i) sum += file.ReadValue<T>();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_VHFileValues<uint32_t>)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VHFileValues<double>)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_VHFileBlocks(benchmark::State& state) {
  const std::string& path = BenchFile();
  std::vector<char> block(kBlockSize);
  for (auto _ : state) {
    CVHFile file;
    file.SetMappingAllowed(state.range(0) != 0);
    if (!file.Open(path, CFile::kModeRead)) state.SkipWithError("open failed");
    size_t done = 0;
    while (const size_t got = file.Read(block.data(), block.size())) done += got;
    benchmark::DoNotOptimize(done);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_VHFileBlocks)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

template <class T>
void BM_IfstreamValues(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    T sum{};
    T value;
    for (size_t i = 0; i < kFileSize / sizeof(T); ++i) {
      in.read(reinterpret_cast<char*>(&value), sizeof value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_IfstreamValues<uint32_t>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IfstreamValues<double>)->Unit(benchmark::kMillisecond);

void BM_IfstreamBlocks(benchmark::State& state) {
  const std::string& path = BenchFile();
  std::vector<char> block(kBlockSize);
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    size_t done = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
      done += static_cast<size_t>(in.gcount());
    benchmark::DoNotOptimize(done);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_IfstreamBlocks)->Unit(benchmark::kMillisecond);

}  // namespace
