// Reading and writing every format from memory: a full 160-track TR-DOS disk (2560 sectors of 256 bytes)
// and a 160-track 5 x 1024 disk for the formats that need that geometry.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "disk/zx_disk.h"

namespace {

using tarvex::Bytes;
using tarvex::TZX_Disk;

Bytes PatternBytes(size_t n) {
    Bytes b(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245 + 12345;
        b[i] = (i / 4096) % 3 == 0 ? 0 : static_cast<uint8_t>(x >> 16);  // some empty tracks, some noise
    }
    return b;
}

struct Format {
    bool (TZX_Disk::*parse)(tarvex::ByteSpan);
    std::function<bool(TZX_Disk&, Bytes&)> build;
};

// A TR-DOS disk whose catalogue lists nine files of 255 sectors each from track 1 on.
void FillTrdos(TZX_Disk& disk) {
    Bytes image = PatternBytes(655360);
    constexpr int kFiles = 9, kFileSectors = 255;
    for (int i = 0; i < kFiles; ++i) {
        uint8_t* e = &image[16 * i];
        std::snprintf(reinterpret_cast<char*>(e), 9, "FILE%-4d", i);
        e[8] = 'C';
        e[11] = 0x00, e[12] = 0xFF;  // 65280 bytes
        e[13] = kFileSectors;
        const int first = 16 + i * kFileSectors;
        e[14] = static_cast<uint8_t>(first % 16), e[15] = static_cast<uint8_t>(first / 16);
    }
    uint8_t* info = &image[8 * 256];
    const int free = 16 + kFiles * kFileSectors;
    info[0xE1] = static_cast<uint8_t>(free % 16), info[0xE2] = static_cast<uint8_t>(free / 16);
    info[0xE3] = 0x16, info[0xE4] = kFiles;
    info[0xE5] = static_cast<uint8_t>((2560 - free) & 0xFF), info[0xE6] = static_cast<uint8_t>((2560 - free) >> 8);
    info[0xE7] = 0x10;
    disk.ParseTRD(image);
}
void FillProfi(TZX_Disk& disk) { disk.ParsePRO(PatternBytes(819200)); }
void FillKorvet(TZX_Disk& disk) { disk.ParseKDI(PatternBytes(819200)); }

void RoundTrip(benchmark::State& state, void (*fill)(TZX_Disk&), Format f) {
    auto disk = std::make_unique<TZX_Disk>();
    fill(*disk);
    Bytes image;
    if (!f.build(*disk, image)) {
        state.SkipWithError(disk->StatusMessage.c_str());
        return;
    }
    for (auto _ : state) {
        Bytes out;
        f.build(*disk, out);
        (disk.get()->*f.parse)(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

#define TARVEX_BENCH_FORMAT(NAME, FILL, PARSE, BUILD)                                                        \
    void BM_##NAME(benchmark::State& state) {                                                             \
        RoundTrip(state, FILL, {&TZX_Disk::PARSE, [](TZX_Disk& d, Bytes& o) { return d.BUILD; }});       \
    }                                                                                                     \
    BENCHMARK(BM_##NAME)->Unit(benchmark::kMillisecond)

TARVEX_BENCH_FORMAT(TrdRoundTrip, FillTrdos, ParseTRD, BuildTRD(o));
TARVEX_BENCH_FORMAT(SclRoundTrip, FillTrdos, ParseSCL, BuildSCL(o));
TARVEX_BENCH_FORMAT(UdiRoundTrip, FillTrdos, ParseUDI, BuildUDI(o));
TARVEX_BENCH_FORMAT(FdiRoundTrip, FillTrdos, ParseFDI, BuildFDI(o));
TARVEX_BENCH_FORMAT(Td0RoundTrip, FillTrdos, ParseTD0, BuildTD0(o, false));
TARVEX_BENCH_FORMAT(Td0CompressedRoundTrip, FillTrdos, ParseTD0, BuildTD0(o, true));
TARVEX_BENCH_FORMAT(ProRoundTrip, FillProfi, ParsePRO, BuildPRO(o));
TARVEX_BENCH_FORMAT(KdiRoundTrip, FillKorvet, ParseKDI, BuildKDI(o));
TARVEX_BENCH_FORMAT(HfeRoundTrip, FillTrdos, ParseHFE, BuildHFE(o));
TARVEX_BENCH_FORMAT(DskRoundTrip, FillTrdos, ParseDSK, BuildDSK(o));

// The three UDI steps of a TR-DOS disk apart: tracks built from scratch, read back with the sector
// scan, and built again keeping the raw layout that was read.
void BM_UdiBuildFromScratch(benchmark::State& state) {
    auto disk = std::make_unique<TZX_Disk>();
    FillTrdos(*disk);
    for (auto _ : state) {
        Bytes udi;
        disk->BuildUDI(udi);
        benchmark::DoNotOptimize(udi.data());
    }
}
BENCHMARK(BM_UdiBuildFromScratch)->Unit(benchmark::kMillisecond);

void BM_UdiParse(benchmark::State& state) {
    auto disk = std::make_unique<TZX_Disk>();
    FillTrdos(*disk);
    Bytes udi;
    disk->BuildUDI(udi);
    for (auto _ : state) benchmark::DoNotOptimize(disk->ParseUDI(udi));
}
BENCHMARK(BM_UdiParse)->Unit(benchmark::kMillisecond);

void BM_UdiBuildKeepingLayout(benchmark::State& state) {
    auto disk = std::make_unique<TZX_Disk>();
    FillTrdos(*disk);
    Bytes udi;
    disk->BuildUDI(udi);
    disk->ParseUDI(udi);
    for (auto _ : state) {
        Bytes again;
        disk->BuildUDI(again);
        benchmark::DoNotOptimize(again.data());
    }
}
BENCHMARK(BM_UdiBuildKeepingLayout)->Unit(benchmark::kMillisecond);

}  // namespace
