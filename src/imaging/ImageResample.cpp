// Resampling of the image object: ResampleTo (cubic enlarging, area
// averaging when shrinking) and FitOnCanvas (bilinear, or 1/1000-pixel
// fixed-point area averaging for 24-bit pictures shrinking both ways).

#include "imaging/Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The weights of the source samples that make up one target sample.
struct Tap {
    std::uint32_t first = 0;    // first source index
    std::vector<float> weights; // for first, first + 1, …
};

double Cubic(double t) {
    constexpr double a = -0.5;
    t = std::fabs(t);
    if (t < 1) {
        return (a + 2) * t * t * t - (a + 3) * t * t + 1;
    }
    if (t < 2) {
        return a * t * t * t - 5 * a * t * t + 8 * a * t - 4 * a;
    }
    return 0;
}

// Taps along one axis of `from` samples resampled to `to`. Positions outside
// the picture repeat the edge sample; a tap list is then a run of weights
// over consecutive clamped indices, so repeated edge samples add up.
std::vector<Tap> AxisTaps(std::uint32_t from, std::uint32_t to) {
    const double scale = static_cast<double>(from) / to;
    std::vector<Tap> taps(to);
    for (std::uint32_t i = 0; i < to; ++i) {
        Tap& tap = taps[i];
        if (scale <= 1) {
            const double centre = (i + 0.5) * scale - 0.5;
            const auto base = static_cast<std::int64_t>(std::floor(centre));
            const std::int64_t lo = std::clamp<std::int64_t>(base - 1, 0, from - 1);
            const std::int64_t hi = std::clamp<std::int64_t>(base + 2, 0, from - 1);
            tap.first = static_cast<std::uint32_t>(lo);
            tap.weights.assign(static_cast<std::size_t>(hi - lo + 1), 0.0f);
            for (std::int64_t j = base - 1; j <= base + 2; ++j) {
                const std::int64_t index = std::clamp<std::int64_t>(j, 0, from - 1);
                tap.weights[static_cast<std::size_t>(index - lo)] +=
                    static_cast<float>(Cubic(centre - static_cast<double>(j)));
            }
            continue;
        }
        // The target sample covers [i × scale, (i + 1) × scale) of the source.
        const double start = i * scale;
        const double end = std::min<double>(from, (i + 1) * scale);
        const auto lo = static_cast<std::uint32_t>(std::floor(start));
        const auto hi = std::min(from - 1, static_cast<std::uint32_t>(std::ceil(end) - 1));
        tap.first = lo;
        for (std::uint32_t j = lo; j <= hi; ++j) {
            const double cover = std::min<double>(end, j + 1.0) - std::max<double>(start, j);
            tap.weights.push_back(static_cast<float>(std::max(0.0, cover) / scale));
        }
    }
    return taps;
}

// Area averaging in thousandths of a pixel: target sample i covers source
// [i × span, (i + 1) × span) with span = from × 1000 / to (truncated).
struct Span {
    std::uint32_t first = 0;
    std::vector<std::uint32_t> cover; // thousandths of source samples first, first + 1, …
    std::uint64_t total = 0;
};

std::vector<Span> FixedSpans(std::uint32_t from, std::uint32_t to) {
    const std::uint64_t span = std::uint64_t{from} * 1000 / to;
    std::vector<Span> spans(to);
    for (std::uint32_t i = 0; i < to; ++i) {
        const std::uint64_t s0 = i * span, s1 = s0 + span;
        Span& s = spans[i];
        s.first = static_cast<std::uint32_t>(s0 / 1000);
        for (std::uint64_t j = s.first; j * 1000 < s1 && j < from; ++j) {
            const std::uint64_t c = std::min(s1, (j + 1) * 1000) - std::max(s0, j * 1000);
            s.cover.push_back(static_cast<std::uint32_t>(c));
            s.total += c;
        }
    }
    return spans;
}

// One source row resampled horizontally into floats.
void ResampleRow(const std::uint8_t* row, const std::vector<Tap>& taps, int channels, float* out) {
    for (const Tap& tap : taps) {
        float sum[3] = {0, 0, 0};
        const std::uint8_t* p = row + std::size_t{tap.first} * channels;
        for (float w : tap.weights) {
            for (int c = 0; c < channels; ++c) {
                sum[c] += w * p[c];
            }
            p += channels;
        }
        for (int c = 0; c < channels; ++c) {
            *out++ = sum[c];
        }
    }
}

// Rounds half up after clamping (so no floor call is needed).
std::uint8_t ToByte(float v) {
    v = v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v);
    return static_cast<std::uint8_t>(static_cast<int>(v + 0.5f));
}

} // namespace

bool CxImage::ResampleTo(std::uint32_t width, std::uint32_t height) {
    if (!IsValid() || width == 0 || height == 0) {
        m_lastError = "CxImage::ResampleTo : invalid size";
        return false;
    }
    if (width == Width() && height == Height()) {
        return true;
    }
    CxImage out;
    if (!ResampleCubicArea(width, height, out)) {
        return false;
    }
    TakePixels(std::move(out));
    return true;
}

bool CxImage::ResampleCubicArea(std::uint32_t width, std::uint32_t height, CxImage& out) const {
    // Grey pictures keep their indices; other palette pictures become 24-bit.
    const bool grey = GetBpp() == 8 && IsGrayScale();
    CxImage wide;
    const CxImage* src = this;
    if (GetBpp() != 24 && !grey) {
        wide.CopyFrom(*this);
        if (!wide.IncreaseBpp(24)) {
            return false;
        }
        src = &wide;
    }
    const int channels = grey ? 1 : 3;
    if (!out.Create(width, height, grey ? 8 : 24, m_type)) {
        return false;
    }
    const std::vector<Tap> xTaps = AxisTaps(Width(), width);
    const std::vector<Tap> yTaps = AxisTaps(Height(), height);
    // Source rows resampled horizontally, kept in a ring of as many slots
    // as the longest vertical tap needs (taps move down monotonically, so a
    // row is computed once).
    const std::size_t lineFloats = std::size_t{width} * channels;
    std::size_t slots = 1;
    for (const Tap& t : yTaps) {
        slots = std::max(slots, t.weights.size() + 1);
    }
    std::vector<float> ring(lineFloats * slots);
    std::vector<std::int64_t> held(slots, -1);
    std::vector<float> acc(lineFloats);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (Escaped()) {
            return false;
        }
        const Tap& ty = yTaps[y];
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (std::size_t k = 0; k < ty.weights.size(); ++k) {
            const std::uint32_t sy = ty.first + static_cast<std::uint32_t>(k);
            const std::size_t slot = sy % slots;
            float* h = ring.data() + lineFloats * slot;
            if (held[slot] != sy) {
                ResampleRow(src->GetBits(sy), xTaps, channels, h);
                held[slot] = sy;
            }
            const float w = ty.weights[k];
            for (std::size_t i = 0; i < lineFloats; ++i) {
                acc[i] += w * h[i];
            }
        }
        std::uint8_t* dst = out.GetBits(y);
        for (std::size_t i = 0; i < lineFloats; ++i) {
            dst[i] = ToByte(acc[i]);
        }
    }
    if (AlphaIsValid()) {
        out.AlphaCreate();
        const double sx = static_cast<double>(Width()) / width;
        const double sy = static_cast<double>(Height()) / height;
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                out.AlphaSet(
                    x, y,
                    AlphaGet(static_cast<std::int64_t>(x * sx), static_cast<std::int64_t>(y * sy)));
            }
        }
    }
    out.m_bkColor = m_bkColor;
    if (IsTransparent()) {
        out.m_transIndex = grey ? m_transIndex : 0;
        out.m_transColor = GetTransColor();
    }
    return true;
}

bool CxImage::ResampleBilinear(std::uint32_t width, std::uint32_t height, CxImage& out) const {
    if (!out.Create(width, height, 24, m_type)) {
        return false;
    }
    const double sx = static_cast<double>(Width()) / width;
    const double sy = static_cast<double>(Height()) / height;
    const auto maxX = static_cast<double>(Width() - 1);
    const auto maxY = static_cast<double>(Height() - 1);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (Escaped()) {
            return false;
        }
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, maxY);
        const auto y0 = static_cast<std::uint32_t>(fy);
        const std::uint32_t y1 = std::min(y0 + 1, Height() - 1);
        const double wy = fy - y0;
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, maxX);
            const auto x0 = static_cast<std::uint32_t>(fx);
            const std::uint32_t x1 = std::min(x0 + 1, Width() - 1);
            const double wx = fx - x0;
            const RgbQuad c00 = GetPixelColor(x0, y0), c10 = GetPixelColor(x1, y0);
            const RgbQuad c01 = GetPixelColor(x0, y1), c11 = GetPixelColor(x1, y1);
            auto mix = [&](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
                const double top = a + (b - a) * wx;
                const double bottom = c + (d - c) * wx;
                return ToByte(static_cast<float>(top + (bottom - top) * wy));
            };
            dst[3 * x] = mix(c00.blue, c10.blue, c01.blue, c11.blue);
            dst[3 * x + 1] = mix(c00.green, c10.green, c01.green, c11.green);
            dst[3 * x + 2] = mix(c00.red, c10.red, c01.red, c11.red);
        }
    }
    return true;
}

bool CxImage::ResampleArea1000(std::uint32_t width, std::uint32_t height, CxImage& out) const {
    if (!out.Create(width, height, 24, m_type)) {
        return false;
    }
    const std::vector<Span> xSpans = FixedSpans(Width(), width);
    const std::vector<Span> ySpans = FixedSpans(Height(), height);
    std::vector<std::uint64_t> sums(std::size_t{width} * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (Escaped()) {
            return false;
        }
        std::fill(sums.begin(), sums.end(), 0);
        const Span& sy = ySpans[y];
        for (std::size_t j = 0; j < sy.cover.size(); ++j) {
            const std::uint8_t* row = GetBits(sy.first + static_cast<std::uint32_t>(j));
            const std::uint64_t coverY = sy.cover[j];
            for (std::uint32_t x = 0; x < width; ++x) {
                const Span& sx = xSpans[x];
                const std::uint8_t* p = row + std::size_t{sx.first} * 3;
                std::uint64_t b = 0, g = 0, r = 0;
                for (std::uint32_t coverX : sx.cover) {
                    b += coverX * p[0];
                    g += coverX * p[1];
                    r += coverX * p[2];
                    p += 3;
                }
                sums[3 * x] += b * coverY;
                sums[3 * x + 1] += g * coverY;
                sums[3 * x + 2] += r * coverY;
            }
        }
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint64_t area = xSpans[x].total * sy.total;
            for (int c = 0; c < 3; ++c) {
                const std::uint64_t v = area ? (sums[3 * x + c] + area / 2) / area : 0;
                dst[3 * x + c] = static_cast<std::uint8_t>(std::min<std::uint64_t>(255, v));
            }
        }
    }
    return true;
}

bool CxImage::FitOnCanvas(std::uint32_t width, std::uint32_t height, RgbQuad canvas,
                          CxImage& target) const {
    if (!IsValid() || width == 0 || height == 0) {
        return false;
    }
    CxImage picture(*this);
    std::uint32_t w = Width(), h = Height();
    if (w > width || h > height) {
        const double f = static_cast<double>(width) / height * h > w
                             ? static_cast<double>(height) / h
                             : static_cast<double>(width) / w;
        const auto nw = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(w * f));
        const auto nh = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(h * f));
        CxImage scaled;
        const bool area = GetBpp() == 24 && nw < w && nh < h;
        if (!(area ? ResampleArea1000(nw, nh, scaled) : ResampleBilinear(nw, nh, scaled))) {
            return false;
        }
        picture = std::move(scaled);
        w = nw;
        h = nh;
    }
    CxImage result;
    if (!result.Create(width, height, 24, m_type)) {
        return false;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = result.GetBits(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            row[3 * x] = canvas.blue;
            row[3 * x + 1] = canvas.green;
            row[3 * x + 2] = canvas.red;
        }
    }
    // Margins counted from the top-left; rows are stored bottom-up.
    const std::uint32_t left = (width - std::min(width, w)) / 2;
    const std::uint32_t top = (height - std::min(height, h)) / 2;
    for (std::uint32_t y = 0; y < h && y < height; ++y) {
        if (Escaped()) {
            return false;
        }
        const std::uint32_t dstY = height - 1 - (top + y);
        const std::uint32_t srcY = h - 1 - y;
        std::uint8_t* dst = result.GetBits(dstY) + std::size_t{left} * 3;
        for (std::uint32_t x = 0; x < w && left + x < width; ++x) {
            const RgbQuad c = picture.GetPixelColor(x, srcY);
            dst[3 * x] = c.blue;
            dst[3 * x + 1] = c.green;
            dst[3 * x + 2] = c.red;
        }
    }
    result.CopySettings(*this);
    result.m_transIndex = -1;
    target = std::move(result);
    return true;
}
