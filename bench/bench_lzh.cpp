// The LZH codec on whole TR-DOS disks: coding the 655,360 bytes of a disk, decoding that code as the
// TD0 reader does (after a 12-byte header), and reading a compressed TD0 image of the disk.
// The disks come from the sample corpus in tests/data/corpus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "formats/td0.h"
#include "lzh/lzh.h"

#ifndef TARVEX_BENCH_CORPUS_DIR
#error "TARVEX_BENCH_CORPUS_DIR names the sample corpus"
#endif

namespace {

using tarvex::Bytes;
using tarvex::TZX_Disk;

constexpr size_t kDiskBytes = 655360;

// The disk image `name` of the sample corpus; a benchmark without its disk stops the run.
Bytes Disk(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(TARVEX_BENCH_CORPUS_DIR) / "trd" / name;
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != kDiskBytes) throw std::runtime_error("bench_lzh: cannot read the disk " + path.string());
    return bytes;
}

const Bytes& NedoosSys() {
    static const Bytes disk = Disk("nedoos-sys.trd");
    return disk;
}
const Bytes& ZxtuneTiden() {
    static const Bytes disk = Disk("zxtune-tiden.trd");
    return disk;
}

void Encode(benchmark::State& state, const Bytes& input) {
    size_t codeBytes = 0;
    for (auto _ : state) {
        Bytes code;
        tarvex::LzhEncode(input, code);
        codeBytes = code.size();
        benchmark::DoNotOptimize(code.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    state.counters["code_bytes"] = static_cast<double>(codeBytes);
}

void Decode(benchmark::State& state, const Bytes& input) {
    Bytes file(12, 0x74);
    tarvex::LzhEncode(input, file);
    for (auto _ : state) {
        Bytes out;
        tarvex::LzhDecode(file, 12, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void ParseCompressedTd0(benchmark::State& state, const Bytes& (*disk)()) {
    auto model = std::make_unique<TZX_Disk>();
    if (!model->ParseTRD(disk())) {
        state.SkipWithError(model->StatusMessage.c_str());
        return;
    }
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 8;
    Bytes td0;
    tarvex::BuildTD0At(*model, td0, true, when);
    for (auto _ : state) benchmark::DoNotOptimize(model->ParseTD0(td0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * td0.size()));
}

// Every full-size disk image of the corpus's TR-DOS folder, coded and decoded: EncodeCorpus/<file>
// and DecodeCorpus/<file>.
const bool kCorpusDisksRegistered = [] {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(TARVEX_BENCH_CORPUS_DIR) / "trd", error))
        if (entry.path().extension() == ".trd" && entry.file_size(error) == kDiskBytes) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        static std::vector<std::unique_ptr<Bytes>> disks;
        std::ifstream in(file, std::ios::binary);
        disks.push_back(std::make_unique<Bytes>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        const Bytes* disk = disks.back().get();
        const std::string name = file.stem().string();
        benchmark::RegisterBenchmark(("EncodeCorpus/" + name).c_str(), [disk](benchmark::State& state) {
            Encode(state, *disk);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DecodeCorpus/" + name).c_str(), [disk](benchmark::State& state) {
            Decode(state, *disk);
        })->Unit(benchmark::kMillisecond);
    }
    return true;
}();

BENCHMARK_CAPTURE(Encode, nedoos_sys, NedoosSys())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, zxtune_tiden, ZxtuneTiden())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, nedoos_sys, NedoosSys())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, zxtune_tiden, ZxtuneTiden())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseCompressedTd0, nedoos_sys, NedoosSys)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseCompressedTd0, zxtune_tiden, ZxtuneTiden)->Unit(benchmark::kMillisecond);

}  // namespace
