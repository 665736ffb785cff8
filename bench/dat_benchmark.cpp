// DAT files: parsing and indexing a DAT of 10,000 entries (made here, in memory), matching one
// dump against it, and the whole of it as a run does it once; the hashes as a dump computes them
// while it reads (64 MiB in 1 MiB chunks, N64 byte-swapped to big-endian), and the dump report
// over 64 MiB with those hashes given.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/rom/dat.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"
#include "tools/test_images.hpp"

namespace {

using reader::rom::DatIndex;
using reader::rom::ImageKind;

constexpr std::size_t kDatEntries = 10000;
constexpr std::size_t kDumpEntry = kDatEntries / 2;  // where the dump's own entry is listed
constexpr std::size_t kImageSize = 64 * reader::testimages::kMiB;
constexpr std::size_t kChunkSize = reader::testimages::kMiB;

std::string Hex(std::uint64_t value, int digits) {
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%0*llx", digits,
                  static_cast<unsigned long long>(value));
    return text.data();
}

const std::vector<std::uint8_t>& DumpImage() {
    static const std::vector<std::uint8_t> image = reader::testimages::MakeN64Image(
        reader::rom::N64BootCode::Boot6102, 7, 8 * reader::testimages::kMiB);
    return image;
}

const reader::rom::ImageDigests& DumpDigests() {
    static const reader::rom::ImageDigests digests =
        reader::rom::ComputeImageDigests(DumpImage(), ImageKind::N64);
    return digests;
}

// A DAT of 10,000 games as a dump database writes them (one ROM each, with md5), pseudo-random
// hashes, and the dump's own entry among them.
const std::string& DatText() {
    static const std::string text = [] {
        std::string dat =
            "<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n\t\t<name>Generated N64 "
            "(BigEndian)</name>\n\t\t<version>1</version>\n\t</header>\n";
        std::uint64_t x = 0x9E3779B97F4A7C15u;
        const auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            return x;
        };
        for (std::size_t i = 0; i < kDatEntries; ++i) {
            const std::string name = "Generated Game " + std::to_string(i) + " (World)";
            std::string size = std::to_string((std::uint64_t{4} + next() % 13) << 20);
            std::string crc = Hex(next() & 0xFFFFFFFFu, 8);
            std::string sha1 = Hex(next(), 16) + Hex(next(), 16) + Hex(next() & 0xFFFFFFFFu, 8);
            if (i == kDumpEntry) {
                const auto& hashes = DumpDigests().file;
                size = std::to_string(hashes.size);
                crc = Hex(hashes.crc32, 8);
                sha1.clear();
                for (const std::uint8_t byte : hashes.sha1) {
                    sha1 += Hex(byte, 2);
                }
            }
            dat += "\t<game name=\"" + name + "\">\n\t\t<description>" + name +
                   "</description>\n\t\t<rom name=\"" + name + ".z64\" size=\"" + size +
                   "\" crc=\"" + crc + "\" md5=\"" + Hex(next(), 16) + Hex(next(), 16) +
                   "\" sha1=\"" + sha1 + "\"/>\n\t</game>\n";
        }
        return dat + "</datafile>\n";
    }();
    return text;
}

DatIndex LoadIndex() {
    DatIndex index;
    std::string error;
    if (!index.AddText(DatText(), "generated.dat", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    return index;
}

void BM_DatParseAndIndex10k(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadIndex());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(DatText().size()));
    state.counters["dat_bytes"] = static_cast<double>(DatText().size());
}

void BM_DatMatch10k(benchmark::State& state) {
    const DatIndex index = LoadIndex();
    const auto& digests = DumpDigests();
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.Match(digests));
    }
    if (index.Match(digests).verdict != reader::rom::DatVerdict::Verified) {
        state.SkipWithError("the dump's entry was not found");
    }
}

// What one run does: read the DAT, index it, match the dump, make the line.
void BM_DatWholeRun10k(benchmark::State& state) {
    const auto& digests = DumpDigests();
    for (auto _ : state) {
        const DatIndex index = LoadIndex();
        benchmark::DoNotOptimize(reader::rom::DatReportLine(index.Match(digests)));
    }
}

const std::vector<std::uint8_t>& ByteSwappedImage() {
    static const std::vector<std::uint8_t> image = [] {
        auto bytes =
            reader::testimages::MakeN64Image(reader::rom::N64BootCode::Boot6102, 1, kImageSize);
        reader::rom::ConvertN64ByteOrder(bytes, reader::rom::N64ByteOrder::BigEndian,
                                         reader::rom::N64ByteOrder::ByteSwapped);
        return bytes;
    }();
    return image;
}

// The dump's hashing as it reads: every 1 MiB chunk reordered in place and hashed (the copy of
// the image each time is not counted).
void BM_ImageHasherByteSwappedToBigEndian(benchmark::State& state) {
    std::vector<std::uint8_t> reading(kImageSize);
    for (auto _ : state) {
        state.PauseTiming();
        reading = ByteSwappedImage();
        state.ResumeTiming();
        reader::rom::ImageHasher hasher(std::nullopt, reader::rom::N64ByteOrder::BigEndian);
        for (std::size_t at = 0; at < reading.size(); at += kChunkSize) {
            benchmark::DoNotOptimize(hasher.Add(std::span(reading).subspan(at, kChunkSize)));
        }
        hasher.Finish();
        benchmark::DoNotOptimize(hasher.Digests());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kImageSize));
}

// The report over 64 MiB when the dump hands it the hashes it computed as it read.
void ReportWithHashes(benchmark::State& state, ImageKind kind) {
    static const std::vector<std::uint8_t> image =
        reader::testimages::MakeN64Image(reader::rom::N64BootCode::Boot6102, 1, kImageSize);
    const reader::rom::ImageHashes hashes = reader::rom::HashImage(image);
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader::rom::ReportImage(image, kind, hashes));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

void BM_ReportN64WithHashes(benchmark::State& state) {
    ReportWithHashes(state, ImageKind::N64);
}

void BM_ReportSfcWithHashes(benchmark::State& state) {
    ReportWithHashes(state, ImageKind::Sfc);
}

BENCHMARK(BM_DatParseAndIndex10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatMatch10k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DatWholeRun10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageHasherByteSwappedToBigEndian)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportN64WithHashes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportSfcWithHashes)->Unit(benchmark::kMillisecond);

}  // namespace
