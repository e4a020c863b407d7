// Saving an image file: every byte written, against whole zero blocks left unwritten, for a TR-DOS
// disk whose second half is free space and for one of noise only (where the zero check finds nothing).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "io/image_file.h"

namespace {

using tarvex::Bytes;
using tarvex::ZeroBlocks;

constexpr size_t kTrdBytes = 655360;

Bytes DiskBytes(double usedShare) {
    Bytes b(kTrdBytes, 0);
    uint32_t x = 12345;
    const auto used = static_cast<size_t>(static_cast<double>(b.size()) * usedShare);
    for (size_t i = 0; i < used; ++i) {
        x = x * 1103515245 + 12345;
        b[i] = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

void Save(benchmark::State& state, double usedShare, ZeroBlocks zeroBlocks) {
    char pattern[] = "/tmp/tarvex-bench-save-XXXXXX";
    const char* folder = ::mkdtemp(pattern);
    if (!folder) {
        state.SkipWithError("cannot make a folder");
        return;
    }
    const Bytes bytes = DiskBytes(usedShare);
    const std::string target = std::string(folder) + "/disk.trd";
    for (auto _ : state) {
        tarvex::SaveFileAtomic(target, bytes, zeroBlocks);
        state.PauseTiming();
        ::unlink(target.c_str());
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_SaveHalfFreeDiskWritingZeros(benchmark::State& s) { Save(s, 0.5, ZeroBlocks::Written); }
void BM_SaveHalfFreeDiskSkippingZeros(benchmark::State& s) { Save(s, 0.5, ZeroBlocks::Skipped); }
void BM_SaveNoiseWritingZeros(benchmark::State& s) { Save(s, 1.0, ZeroBlocks::Written); }
void BM_SaveNoiseSkippingZeros(benchmark::State& s) { Save(s, 1.0, ZeroBlocks::Skipped); }
BENCHMARK(BM_SaveHalfFreeDiskWritingZeros)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveHalfFreeDiskSkippingZeros)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveNoiseWritingZeros)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveNoiseSkippingZeros)->Unit(benchmark::kMicrosecond);

}  // namespace
