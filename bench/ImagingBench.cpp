// Image object benchmarks on a 4000 × 3000 photo-like JPEG: full and
// reduced (thumbnail) decodes, GaussianBlur radius 5 and ResampleTo
// 800 × 600. The picture comes from ORVANTA_BENCH_JPEG; when that names a
// missing file (or is unset) one is made and, if named, written there so
// that imaging_compare.sh can hand the same file to the reference tools.

#include "imaging/Image.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace {

constexpr std::uint32_t kWidth = 4000;
constexpr std::uint32_t kHeight = 3000;

// Smooth colour fields with a little noise: compresses like a photo.
CxImage MakePhoto() {
    CxImage image(kWidth, kHeight, 24);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = image.GetBits(y);
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const double fx = x / 400.0, fy = y / 300.0;
            const double r = 128 + 100 * std::sin(fx) * std::cos(fy * 0.7);
            const double g = 128 + 90 * std::sin(fx * 0.5 + fy);
            const double b = 128 + 80 * std::cos(fx * 0.3 - fy * 0.9);
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(b + noise(random), 0.0, 255.0));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(g + noise(random), 0.0, 255.0));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(r + noise(random), 0.0, 255.0));
        }
    }
    return image;
}

const std::vector<std::uint8_t>& PhotoJpeg() {
    static const std::vector<std::uint8_t> bytes = [] {
        const char* path = std::getenv("ORVANTA_BENCH_JPEG");
        if (path) {
            std::ifstream in(path, std::ios::binary);
            std::vector<std::uint8_t> existing(std::istreambuf_iterator<char>(in), {});
            if (!existing.empty()) {
                return existing;
            }
        }
        CxImage photo = MakePhoto();
        std::vector<std::uint8_t> out;
        photo.Encode(out, imaging::kFormatJpg);
        if (path) {
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(out.data()),
                       static_cast<std::streamsize>(out.size()));
        }
        return out;
    }();
    return bytes;
}

const CxImage& Photo() {
    static const CxImage image = [] {
        CxImage decoded;
        decoded.Decode(PhotoJpeg(), imaging::kFormatJpg);
        return decoded;
    }();
    return image;
}

void BM_DecodeJpegFull(benchmark::State& state) {
    const auto& jpeg = PhotoJpeg();
    for (auto _ : state) {
        CxImage image;
        benchmark::DoNotOptimize(image.Decode(jpeg, imaging::kFormatJpg));
    }
}
BENCHMARK(BM_DecodeJpegFull)->Unit(benchmark::kMillisecond);

// A thumbnail request of 500 × 375 takes the 1/8 scale.
void BM_DecodeJpegReduced(benchmark::State& state) {
    const auto& jpeg = PhotoJpeg();
    for (auto _ : state) {
        CxImage image;
        benchmark::DoNotOptimize(image.DecodeReduced(jpeg, 500, 375, imaging::kFormatJpg));
    }
}
BENCHMARK(BM_DecodeJpegReduced)->Unit(benchmark::kMillisecond);

void BM_GaussianBlur5(benchmark::State& state) {
    const CxImage& source = Photo();
    for (auto _ : state) {
        state.PauseTiming();
        CxImage image(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(image.GaussianBlur(5));
    }
}
BENCHMARK(BM_GaussianBlur5)->Unit(benchmark::kMillisecond);

void BM_ResampleTo800x600(benchmark::State& state) {
    const CxImage& source = Photo();
    for (auto _ : state) {
        state.PauseTiming();
        CxImage image(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(image.ResampleTo(800, 600));
    }
}
BENCHMARK(BM_ResampleTo800x600)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
