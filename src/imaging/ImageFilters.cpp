// Gaussian blur and general convolution of the image object.

#include "imaging/Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Pictures the filters cannot work on directly (palette pictures other than
// 8-bit grey) are widened to 24 bits and put back to their depth and palette
// afterwards.
struct WorkCopy {
    CxImage image;
    bool widened = false;
    std::uint32_t bpp = 0;
    std::vector<RgbQuad> palette;

    bool Prepare(const CxImage& source) {
        image.CopyFrom(source);
        bpp = source.GetBpp();
        const bool direct = bpp == 24 || (bpp == 8 && source.IsGrayScale());
        if (direct) {
            return true;
        }
        palette.assign(source.GetPalette().begin(), source.GetPalette().end());
        widened = true;
        return image.IncreaseBpp(24);
    }
    bool Finish() { return !widened || image.DecreaseBpp(bpp, palette); }
};

int Channels(const CxImage& image) {
    return image.GetBpp() == 24 ? 3 : 1;
}

// Rounds half up; sums of the blur are never negative, so truncating
// v + 0.5 is the floor (and much cheaper than calling floor).
std::uint8_t RoundToByte(float v) {
    const int rounded = static_cast<int>(v + 0.5f);
    return static_cast<std::uint8_t>(rounded > 255 ? 255 : (rounded < 0 ? 0 : rounded));
}

// The row pass of the blur over one row of interleaved samples (`channels`
// per pixel): out(x) = Σ kernel[k] × in(x + k - half), renormalised near
// the ends, where only the cells that fall on pixels count.
void BlurRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t width, int channels,
             const std::vector<float>& kernel, const std::vector<float>& products,
             std::vector<float>& sums) {
    const auto n = static_cast<std::ptrdiff_t>(kernel.size());
    const std::ptrdiff_t half = n / 2;
    const auto len = static_cast<std::ptrdiff_t>(width);
    const std::ptrdiff_t bytes = len * channels;
    sums.assign(static_cast<std::size_t>(bytes), 0.0f);
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        const float* table = products.data() + 256 * k;
        const std::ptrdiff_t shift = (k - half) * channels;
        const std::ptrdiff_t begin = std::max<std::ptrdiff_t>(0, -shift);
        const std::ptrdiff_t end = std::min<std::ptrdiff_t>(bytes, bytes - shift);
        float* out = sums.data();
        const std::uint8_t* in = src + shift;
        for (std::ptrdiff_t i = begin; i < end; ++i) {
            out[i] += table[in[i]];
        }
    }
    for (std::ptrdiff_t x = 0; x < len; ++x) {
        float weight = 1.0f;
        if (x < half || x + half >= len) {
            weight = 0.0f;
            for (std::ptrdiff_t k = 0; k < n; ++k) {
                const std::ptrdiff_t j = x + k - half;
                if (j >= 0 && j < len) {
                    weight += kernel[static_cast<std::size_t>(k)];
                }
            }
        }
        for (int c = 0; c < channels; ++c) {
            const auto i = static_cast<std::size_t>(x * channels + c);
            dst[i] = RoundToByte(sums[i] / weight);
        }
    }
}

// Columns of a plane, processed a row at a time so that memory is read in
// order: out(y) = Σ kernel[k] × in(y + k - half).
void BlurColumns(const CxImage& in, CxImage& out, const std::vector<float>& kernel,
                 const std::vector<float>& products, CxImage& progress) {
    const auto n = static_cast<std::ptrdiff_t>(kernel.size());
    const std::ptrdiff_t half = n / 2;
    const auto height = static_cast<std::ptrdiff_t>(in.Height());
    const std::size_t bytes = std::size_t{in.Width()} * Channels(in);
    std::vector<float> sums(bytes);
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        if (progress.GetEscape()) {
            return;
        }
        std::fill(sums.begin(), sums.end(), 0.0f);
        float weight = 0.0f;
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            const std::ptrdiff_t row = y + k - half;
            if (row < 0 || row >= height) {
                continue;
            }
            weight += kernel[static_cast<std::size_t>(k)];
            const float* table = products.data() + 256 * k;
            const std::uint8_t* src = in.GetBits(static_cast<std::uint32_t>(row));
            for (std::size_t i = 0; i < bytes; ++i) {
                sums[i] += table[src[i]];
            }
        }
        const bool inner = y >= half && y + half < height;
        std::uint8_t* dst = out.GetBits(static_cast<std::uint32_t>(y));
        for (std::size_t i = 0; i < bytes; ++i) {
            dst[i] = RoundToByte(inner ? sums[i] : sums[i] / weight);
        }
        progress.SetProgress(50 + static_cast<int>(50 * (y + 1) / height));
    }
}

} // namespace

std::vector<float> CxImage::GaussianKernel(float radius) {
    const double sigma = std::fabs(0.5 * radius) + 0.25;
    const double reach = 2 * sigma;
    const int length = std::max(1, 2 * static_cast<int>(std::ceil(reach - 0.5)) + 1);
    const int half = length / 2;
    const double twoSigma2 = 2 * sigma * sigma;
    std::vector<double> cells(static_cast<std::size_t>(length));
    for (int cell = half + 1; cell < length; ++cell) {
        const double x = cell - half - 0.5;
        double sum = 0;
        for (int j = 1; j <= 50; ++j) {
            const double t = x + 0.02 * j;
            if (t <= reach) {
                sum += std::exp(-t * t / twoSigma2);
            }
        }
        cells[static_cast<std::size_t>(cell)] = sum / 50;
        cells[static_cast<std::size_t>(2 * half - cell)] = sum / 50;
    }
    // The centre cell averages over its own width, -0.5 … 0.5.
    double centre = 0;
    for (int j = 0; j <= 50; ++j) {
        const double t = -0.5 + 0.02 * j;
        centre += std::exp(-t * t / twoSigma2);
    }
    cells[static_cast<std::size_t>(half)] = centre / 51;
    double total = 0;
    for (double c : cells) {
        total += c;
    }
    std::vector<float> kernel;
    for (double c : cells) {
        kernel.push_back(static_cast<float>(c / total));
    }
    return kernel;
}

bool CxImage::GaussianBlur(float radius) {
    if (!IsValid()) {
        return false;
    }
    const std::vector<float> kernel = GaussianKernel(radius);
    std::vector<float> products(256 * kernel.size());
    for (std::size_t k = 0; k < kernel.size(); ++k) {
        for (int v = 0; v < 256; ++v) {
            products[256 * k + static_cast<std::size_t>(v)] = kernel[k] * static_cast<float>(v);
        }
    }
    WorkCopy work;
    if (!work.Prepare(*this)) {
        m_lastError = work.image.GetLastError();
        return false;
    }
    CxImage& src = work.image;
    CxImage rows(src);
    const int channels = Channels(src);
    std::vector<float> sums;
    SetProgress(0);
    for (std::uint32_t y = 0; y < src.Height(); ++y) {
        if (Escaped()) {
            return false;
        }
        BlurRow(src.GetBits(y), rows.GetBits(y), src.Width(), channels, kernel, products, sums);
        SetProgress(static_cast<int>(50 * std::uint64_t{y + 1} / src.Height()));
    }
    CxImage result(rows);
    BlurColumns(rows, result, kernel, products, *this);
    if (Escaped()) {
        return false;
    }
    if (src.SelectionIsValid()) {
        for (std::uint32_t y = 0; y < src.Height(); ++y) {
            for (std::uint32_t x = 0; x < src.Width(); ++x) {
                if (!src.SelectionIsInside(x, y)) {
                    std::memcpy(result.GetBits(y) + std::size_t{x} * channels,
                                src.GetBits(y) + std::size_t{x} * channels,
                                static_cast<std::size_t>(channels));
                }
            }
        }
    }
    work.image = std::move(result);
    if (!work.Finish()) {
        return false;
    }
    TakePixels(std::move(work.image));
    SetProgress(100);
    return true;
}

bool CxImage::Convolve(std::span<const std::int32_t> kernel, int size, int divisor, int offset) {
    if (!IsValid() || size < 1 || size % 2 == 0 ||
        kernel.size() != static_cast<std::size_t>(size) * static_cast<std::size_t>(size)) {
        m_lastError = "CxImage::Convolve : bad kernel";
        return false;
    }
    long total = 0;
    for (std::int32_t k : kernel) {
        total += k;
    }
    WorkCopy work;
    if (!work.Prepare(*this)) {
        m_lastError = work.image.GetLastError();
        return false;
    }
    const CxImage& src = work.image;
    CxImage out(src);
    const int channels = Channels(src);
    const int half = size / 2;
    const auto width = static_cast<std::int64_t>(src.Width());
    const auto height = static_cast<std::int64_t>(src.Height());
    for (std::int64_t y = 0; y < height; ++y) {
        if (Escaped()) {
            return false;
        }
        std::uint8_t* dst = out.GetBits(static_cast<std::uint32_t>(y));
        for (std::int64_t x = 0; x < width; ++x) {
            if (!src.SelectionIsInside(x, y)) {
                continue;
            }
            long sum[3] = {0, 0, 0};
            long cells = 0;
            for (int ky = 0; ky < size; ++ky) {
                // Kernel rows run top to bottom; picture rows bottom to top.
                const std::int64_t ny = y - (ky - half);
                if (ny < 0 || ny >= height) {
                    continue;
                }
                const std::uint8_t* row = src.GetBits(static_cast<std::uint32_t>(ny));
                for (int kx = 0; kx < size; ++kx) {
                    const std::int64_t nx = x + kx - half;
                    if (nx < 0 || nx >= width) {
                        continue;
                    }
                    const long k = kernel[static_cast<std::size_t>(ky * size + kx)];
                    cells += k;
                    for (int c = 0; c < channels; ++c) {
                        sum[c] += k * row[nx * channels + c];
                    }
                }
            }
            for (int c = 0; c < channels; ++c) {
                long v;
                if (divisor != 0 && cells != 0 && cells != total) {
                    v = offset + sum[c] * total / (long{divisor} * cells);
                } else if (divisor != 0 && cells != 0) {
                    v = offset + sum[c] / divisor;
                } else {
                    v = offset + sum[c];
                }
                dst[x * channels + c] = static_cast<std::uint8_t>(std::clamp(v, 0L, 255L));
            }
        }
    }
    work.image = std::move(out);
    if (!work.Finish()) {
        return false;
    }
    TakePixels(std::move(work.image));
    return true;
}
