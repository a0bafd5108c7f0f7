#include "imaging/ImageJAS.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::array<std::uint8_t, 12> kJp2Signature = {0,   0,   0,    0x0c, 'j',  'P',
                                                        ' ', ' ', 0x0d, 0x0a, 0x87, 0x0a};
constexpr std::array<std::uint8_t, 4> kJ2kSignature = {0xff, 0x4f, 0xff, 0x51};

bool Fail(CxImage& image, const std::string& text) {
    image.SetLastError(text);
    return false;
}

// The memory the stream callbacks read from.
struct Source {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

OPJ_SIZE_T ReadSource(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* src = static_cast<Source*>(user);
    const std::size_t left = src->data.size() - src->pos;
    if (left == 0) {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    const std::size_t n = std::min<std::size_t>(bytes, left);
    std::memcpy(buffer, src->data.data() + src->pos, n);
    src->pos += n;
    return n;
}

OPJ_OFF_T SkipSource(OPJ_OFF_T bytes, void* user) {
    auto* src = static_cast<Source*>(user);
    if (bytes < 0) {
        const auto back = static_cast<std::size_t>(-bytes);
        if (back > src->pos) {
            return -1;
        }
        src->pos -= back;
        return bytes;
    }
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(bytes), src->data.size() - src->pos);
    src->pos += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekSource(OPJ_OFF_T pos, void* user) {
    auto* src = static_cast<Source*>(user);
    if (pos < 0 || static_cast<std::size_t>(pos) > src->data.size()) {
        return OPJ_FALSE;
    }
    src->pos = static_cast<std::size_t>(pos);
    return OPJ_TRUE;
}

// The library's first error message, kept for the error text.
void OnError(const char* message, void* user) {
    auto* text = static_cast<std::string*>(user);
    if (text->empty() && message) {
        *text = message;
        while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
            text->pop_back();
        }
    }
}

void OnQuiet(const char*, void*) {}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

// A component sample scaled to 8 bits (signed samples shifted to unsigned).
std::uint8_t Sample(const opj_image_comp_t& c, std::uint32_t x, std::uint32_t y) {
    const std::uint32_t cx = std::min(x / std::max<OPJ_UINT32>(c.dx, 1), c.w - 1);
    const std::uint32_t cy = std::min(y / std::max<OPJ_UINT32>(c.dy, 1), c.h - 1);
    std::int64_t v = c.data[std::size_t{cy} * c.w + cx];
    const std::uint32_t prec = std::clamp<std::uint32_t>(c.prec, 1, 31);
    if (c.sgnd) {
        v += std::int64_t{1} << (prec - 1);
    }
    const std::int64_t max = (std::int64_t{1} << prec) - 1;
    v = std::clamp<std::int64_t>(v, 0, max);
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

bool Decode(std::span<const std::uint8_t> data, CxImage& image, OPJ_CODEC_FORMAT format, int type) {
    const char* name = format == OPJ_CODEC_JP2 ? "JP2" : "JPC";
    const bool signature =
        format == OPJ_CODEC_JP2
            ? data.size() >= kJp2Signature.size() &&
                  std::memcmp(data.data(), kJp2Signature.data(), kJp2Signature.size()) == 0
            : data.size() >= kJ2kSignature.size() &&
                  std::memcmp(data.data(), kJ2kSignature.data(), kJ2kSignature.size()) == 0;
    if (!signature) {
        return Fail(image, std::string(name) + ": not a JPEG 2000 file");
    }
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(format));
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(64 * 1024, OPJ_TRUE));
    if (!codec || !stream) {
        return Fail(image, std::string(name) + ": cannot start the decoder");
    }
    std::string error;
    opj_set_error_handler(codec.get(), OnError, &error);
    opj_set_warning_handler(codec.get(), OnQuiet, nullptr);
    opj_set_info_handler(codec.get(), OnQuiet, nullptr);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params)) {
        return Fail(image, std::string(name) + ": cannot start the decoder");
    }
    Source source{data, 0};
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), data.size());
    opj_stream_set_read_function(stream.get(), ReadSource);
    opj_stream_set_skip_function(stream.get(), SkipSource);
    opj_stream_set_seek_function(stream.get(), SeekSource);
    auto failed = [&](const char* what) {
        return Fail(image, std::string(name) + ": " + (error.empty() ? what : error));
    };
    opj_image_t* raw = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &raw)) {
        std::unique_ptr<opj_image_t, ImageDeleter> drop(raw);
        return failed("invalid header");
    }
    std::unique_ptr<opj_image_t, ImageDeleter> decoded(raw);
    const std::uint64_t width = decoded->x1 > decoded->x0 ? decoded->x1 - decoded->x0 : 0;
    const std::uint64_t height = decoded->y1 > decoded->y0 ? decoded->y1 - decoded->y0 : 0;
    // Refuse what we could not hold before the library allocates for it.
    if (!CxImage::CheckDimensions(width, height, 32) || decoded->numcomps == 0) {
        return Fail(image, std::string(name) + ": invalid dimensions");
    }
    if (!opj_decode(codec.get(), stream.get(), decoded.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        return failed("cannot decode the picture");
    }
    const std::uint32_t comps = decoded->numcomps;
    for (std::uint32_t i = 0; i < comps; ++i) {
        const opj_image_comp_t& c = decoded->comps[i];
        if (!c.data || c.w == 0 || c.h == 0) {
            return Fail(image, std::string(name) + ": missing component data");
        }
    }
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    // One or two components are grey (with alpha), three or more colour.
    const bool grey = comps < 3;
    const bool alpha = comps == 2 || comps >= 4;
    CxImage out;
    if (!out.Create(w, h, grey ? 8 : 24, type)) {
        return Fail(image, out.GetLastError());
    }
    if (alpha) {
        out.AlphaCreate();
    }
    const bool ycc = decoded->color_space == OPJ_CLRSPC_SYCC && !grey;
    for (std::uint32_t row = 0; row < h; ++row) {
        const std::uint32_t y = h - 1 - row;
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < w; ++x) {
            if (grey) {
                dst[x] = Sample(decoded->comps[0], x, row);
            } else {
                int r = Sample(decoded->comps[0], x, row);
                int g = Sample(decoded->comps[1], x, row);
                int b = Sample(decoded->comps[2], x, row);
                if (ycc) {
                    const int cb = g - 128;
                    const int cr = b - 128;
                    const int luma = r;
                    r = std::clamp(luma + (1402 * cr) / 1000, 0, 255);
                    g = std::clamp(luma - (344 * cb + 714 * cr) / 1000, 0, 255);
                    b = std::clamp(luma + (1772 * cb) / 1000, 0, 255);
                }
                dst[x * 3] = static_cast<std::uint8_t>(b);
                dst[x * 3 + 1] = static_cast<std::uint8_t>(g);
                dst[x * 3 + 2] = static_cast<std::uint8_t>(r);
            }
            if (alpha) {
                out.AlphaSet(x, y, Sample(decoded->comps[grey ? 1 : 3], x, row));
            }
        }
    }
    image = std::move(out);
    return true;
}

} // namespace

bool CxImageJAS::DecodeJp2(std::span<const std::uint8_t> data, CxImage& image) {
    return Decode(data, image, OPJ_CODEC_JP2, imaging::kFormatJp2);
}

bool CxImageJAS::DecodeJpc(std::span<const std::uint8_t> data, CxImage& image) {
    return Decode(data, image, OPJ_CODEC_J2K, imaging::kFormatJpc);
}
