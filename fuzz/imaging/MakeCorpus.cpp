// Writes the seed files of the formats no tool here writes: SKA (our
// encoder), WMF and EMF, and a camera raw DNG (the tests' sample writers)
// into <folder>/ska/, <folder>/wmf/ and <folder>/raw/. The other seeds come
// from ImageMagick (make-corpus.sh).

#include "imaging/Image.h"

#include "SampleFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path ska = std::filesystem::path(argv[1]) / "ska";
    std::filesystem::create_directories(ska);
    const std::uint32_t sizes[][3] = {{1, 1, 1}, {7, 3, 4}, {16, 16, 8}};
    for (const auto& s : sizes) {
        CxImage image(s[0], s[1], s[2]);
        for (std::uint32_t y = 0; y < s[1]; ++y) {
            for (std::uint32_t x = 0; x < s[0]; ++x) {
                image.SetPixelIndex(x, y,
                                    static_cast<std::uint8_t>((x + 3 * y) % image.GetNumColors()));
            }
        }
        std::vector<std::uint8_t> bytes;
        if (!image.Encode(bytes, imaging::kFormatSka) ||
            !Write(ska / (std::to_string(s[0]) + "x" + std::to_string(s[1]) + ".ska"), bytes)) {
            std::fprintf(stderr, "cannot write the SKA seeds: %s\n", image.GetLastError().c_str());
            return 1;
        }
    }
    const std::filesystem::path wmf = std::filesystem::path(argv[1]) / "wmf";
    const std::filesystem::path raw = std::filesystem::path(argv[1]) / "raw";
    std::filesystem::create_directories(wmf);
    std::filesystem::create_directories(raw);
    if (!Write(wmf / "drawing.wmf", imagingtest::MakeTestWmf()) ||
        !Write(wmf / "drawing.emf", imagingtest::MakeTestEmf()) ||
        !Write(raw / "mosaic.dng", imagingtest::MakeTestDng())) {
        std::fprintf(stderr, "cannot write the metafile and raw seeds\n");
        return 1;
    }
    return 0;
}
