#include "ImageTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace imagingtest {

Rgba ToRgba(const CxImage& image) {
    Rgba out;
    out.width = image.Width();
    out.height = image.Height();
    out.pixels.resize(std::size_t{out.width} * out.height * 4);
    const bool palette = image.GetBpp() <= 8;
    for (std::uint32_t y = 0; y < out.height; ++y) {
        const std::uint32_t row = out.height - 1 - y;
        for (std::uint32_t x = 0; x < out.width; ++x) {
            const RgbQuad c = image.GetPixelColor(x, row);
            std::uint8_t alpha = c.reserved;
            if (image.IsTransparent() && palette &&
                image.GetPixelIndex(x, row) == image.GetTransIndex()) {
                alpha = 0;
            }
            std::uint8_t* p = out.pixels.data() + (std::size_t{y} * out.width + x) * 4;
            p[0] = c.red;
            p[1] = c.green;
            p[2] = c.blue;
            p[3] = alpha;
        }
    }
    return out;
}

namespace {

struct PipeCloser {
    void operator()(std::FILE* f) const { pclose(f); }
};

bool ReadHeaderLine(std::FILE* f, std::string& line) {
    line.clear();
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        if (c == '\n') {
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
    return false;
}

} // namespace

std::optional<Rgba> MagickDecode(const std::string& path, bool toSrgb) {
    // Converting everything to sRGB would also apply PNG gamma, which
    // decoders leave to the display; only CMYK needs it.
    const std::string command = "/usr/bin/convert '" + path + "[0]' " +
                                (toSrgb ? "-colorspace sRGB " : "") + "-depth 8 pam:- 2>/dev/null";
    std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe) {
        return std::nullopt;
    }
    std::string line;
    Rgba out;
    unsigned depth = 0;
    if (!ReadHeaderLine(pipe.get(), line) || line != "P7") {
        return std::nullopt;
    }
    while (ReadHeaderLine(pipe.get(), line) && line != "ENDHDR") {
        std::istringstream in(line);
        std::string key;
        unsigned value = 0;
        in >> key >> value;
        if (key == "WIDTH") {
            out.width = value;
        } else if (key == "HEIGHT") {
            out.height = value;
        } else if (key == "DEPTH") {
            depth = value;
        }
    }
    if (depth < 1 || depth > 4 || out.width == 0 || out.height == 0) {
        return std::nullopt;
    }
    const std::size_t count = std::size_t{out.width} * out.height;
    std::vector<std::uint8_t> raw(count * depth);
    if (std::fread(raw.data(), 1, raw.size(), pipe.get()) != raw.size()) {
        return std::nullopt;
    }
    out.pixels.resize(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* s = raw.data() + i * depth;
        std::uint8_t* d = out.pixels.data() + i * 4;
        const bool grey = depth <= 2;
        d[0] = s[0];
        d[1] = grey ? s[0] : s[1];
        d[2] = grey ? s[0] : s[2];
        d[3] = depth == 2 ? s[1] : (depth == 4 ? s[3] : 255);
    }
    return out;
}

int MaxDifference(const Rgba& ours, const Rgba& reference) {
    if (ours.width != reference.width || ours.height != reference.height) {
        return 256;
    }
    int worst = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); i += 4) {
        if (reference.pixels[i + 3] != 255) {
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            worst = std::max(worst, std::abs(int{ours.pixels[i + c]} - reference.pixels[i + c]));
        }
        worst = std::max(worst, 255 - int{ours.pixels[i + 3]});
    }
    return worst;
}

std::size_t CountDifferent(const Rgba& ours, const Rgba& reference, int tolerance) {
    if (ours.width != reference.width || ours.height != reference.height) {
        return ours.pixels.size() / 4 + 1;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); i += 4) {
        if (reference.pixels[i + 3] != 255) {
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (std::abs(int{ours.pixels[i + c]} - reference.pixels[i + c]) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

CxImage Pattern(std::uint32_t width, std::uint32_t height, std::uint32_t bpp) {
    CxImage image(width, height, bpp);
    if (bpp <= 8) {
        for (std::uint32_t i = 0; i < image.GetNumColors(); ++i) {
            image.SetPaletteColor(i, MakeRgb(static_cast<std::uint8_t>(i * 37 + 11),
                                             static_cast<std::uint8_t>(255 - i * 5),
                                             static_cast<std::uint8_t>(i * 101)));
        }
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            if (bpp <= 8) {
                image.SetPixelIndex(x, y,
                                    static_cast<std::uint8_t>((x + 3 * y) % image.GetNumColors()));
            } else {
                image.SetPixelColor(x, y,
                                    MakeRgb(static_cast<std::uint8_t>(x * 7 + y),
                                            static_cast<std::uint8_t>(y * 13 + x * 3),
                                            static_cast<std::uint8_t>(x * y)));
            }
        }
    }
    return image;
}

bool SamePixels(const CxImage& a, const CxImage& b, bool compareAlpha) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        for (std::uint32_t x = 0; x < a.Width(); ++x) {
            RgbQuad ca = a.GetPixelColor(x, y), cb = b.GetPixelColor(x, y);
            if (!compareAlpha) {
                ca.reserved = cb.reserved = 0;
            }
            if (!(ca == cb)) {
                return false;
            }
        }
    }
    return true;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace imagingtest
