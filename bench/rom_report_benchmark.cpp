// CPU time of the dump report over a 64 MiB image: for an N64 image (hashes, the header checks
// with the boot code recognised by its checksums), for an SFC one (hashes and the 16-bit sum of
// the whole image) and for any other (hashes alone), next to the two hashes on their own (SHA-1
// with the code the processor runs fastest, and with the portable code).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sha1_compress.hpp"
#include "tools/test_images.hpp"

namespace {

using reader::rom::ImageKind;

constexpr std::size_t kImageSize = 64 * reader::testimages::kMiB;

const std::vector<std::uint8_t>& N64Image() {
    static const std::vector<std::uint8_t> image =
        reader::testimages::MakeN64Image(reader::rom::N64BootCode::Boot6102, 1, kImageSize);
    return image;
}

const std::vector<std::uint8_t>& SfcImage() {
    // The largest SFC cartridge size a header names is 8 MiB: this one is a 64 MiB file whose
    // LoROM header (8 MiB) is found and whose whole content is summed.
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> bytes =
            reader::testimages::MakeSfcImage(false, 1, 8 * reader::testimages::kMiB);
        bytes.resize(kImageSize, 0x5A);
        return bytes;
    }();
    return image;
}

void Report(benchmark::State& state, const std::vector<std::uint8_t>& image, ImageKind kind) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader::rom::ReportImage(image, kind));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

void BM_ReportN64(benchmark::State& state) {
    Report(state, N64Image(), ImageKind::N64);
}

void BM_ReportSfc(benchmark::State& state) {
    Report(state, SfcImage(), ImageKind::Sfc);
}

void BM_ReportOther(benchmark::State& state) {
    Report(state, N64Image(), ImageKind::Other);
}

void BM_Crc32(benchmark::State& state) {
    const auto& image = N64Image();
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader::rom::Crc32(image));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

void Sha1With(benchmark::State& state, reader::rom::Sha1Compress compress) {
    const auto& image = N64Image();
    for (auto _ : state) {
        reader::rom::Sha1Hasher hasher(compress);
        hasher.Update(image);
        benchmark::DoNotOptimize(hasher.Digest());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

// SHA-1 as the dump and the report compute it: with the x86 SHA extensions where the processor
// has them (the label says which code ran), else the portable code.
void BM_Sha1(benchmark::State& state) {
    const bool accelerated = reader::rom::Sha1CompressAccelerated() != nullptr;
    state.SetLabel(accelerated ? "x86 SHA extensions" : "portable code");
    Sha1With(state, reader::rom::Sha1CompressFastest());
}

// The portable code alone, on any processor.
void BM_Sha1Portable(benchmark::State& state) {
    Sha1With(state, reader::rom::Sha1CompressPortable);
}

BENCHMARK(BM_ReportN64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportSfc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportOther)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1Portable)->Unit(benchmark::kMillisecond);

}  // namespace
