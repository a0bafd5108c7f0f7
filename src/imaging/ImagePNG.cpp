#include "imaging/ImagePNG.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

// libpng reports errors by longjmp. The functions that call it keep every
// C++ object with a destructor in the caller's frame (the Reader/Writer
// structs), so a jump never skips a destructor.

namespace {

struct Reader {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
    std::string error;
    CxImage image;
    std::vector<std::uint8_t> buffer;
    std::vector<png_bytep> rows;
};

struct Writer {
    std::vector<std::uint8_t>* out = nullptr;
    std::string error;
    std::vector<std::uint8_t> row;
};

void OnError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    if (text->empty()) {
        *text = std::string("PNG: ") + message;
    }
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (length > r->data.size() - r->pos) {
        png_error(png, "file is truncated");
    }
    std::memcpy(out, r->data.data() + r->pos, length);
    r->pos += length;
}

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* w = static_cast<Writer*>(png_get_io_ptr(png));
    w->out->insert(w->out->end(), data, data + length);
}

void FlushBytes(png_structp) {}

// Sets up the transformations and creates the image; returns the number
// of bytes per pixel that libpng will deliver.
int PrepareImage(png_structp png, png_infop info, Reader& r) {
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    if (!CxImage::CheckDimensions(width, height, 24)) {
        png_error(png, "dimensions too large");
    }
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_interlace_handling(png);
    png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE || (colorType == PNG_COLOR_TYPE_GRAY && !hasTrns)) {
        const std::uint32_t bpp = colorType == PNG_COLOR_TYPE_GRAY && depth > 1 ? 8 : depth;
        if (colorType == PNG_COLOR_TYPE_GRAY && depth > 1 && depth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        png_set_packing(png);
        if (!r.image.Create(width, height, bpp, imaging::kFormatPng)) {
            png_error(png, "cannot create the picture");
        }
        if (colorType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp palette = nullptr;
            int count = 0;
            if (!png_get_PLTE(png, info, &palette, &count)) {
                png_error(png, "palette missing");
            }
            std::vector<RgbQuad> colors;
            for (int i = 0; i < count; ++i) {
                colors.push_back(MakeRgb(palette[i].red, palette[i].green, palette[i].blue));
            }
            r.image.SetPalette(colors);
        }
        png_read_update_info(png, info);
        return 1;
    }
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
    if (!r.image.Create(width, height, 24, imaging::kFormatPng) ||
        (alpha && !r.image.AlphaCreate())) {
        png_error(png, "cannot create the picture");
    }
    png_read_update_info(png, info);
    return alpha ? 4 : 3;
}

// Per-index transparency: one fully transparent entry becomes the
// transparent index, anything else an alpha plane.
void ApplyPaletteAlpha(png_structp png, png_infop info, Reader& r) {
    png_bytep trans = nullptr;
    int count = 0;
    if (!png_get_tRNS(png, info, &trans, &count, nullptr) || trans == nullptr) {
        return;
    }
    int clear = -1;
    bool simple = true;
    for (int i = 0; i < count; ++i) {
        if (trans[i] == 0 && clear < 0) {
            clear = i;
        } else if (trans[i] != 255) {
            simple = false;
        }
    }
    if (simple) {
        r.image.SetTransIndex(clear);
        return;
    }
    r.image.AlphaCreate();
    for (std::uint32_t y = 0; y < r.image.Height(); ++y) {
        for (std::uint32_t x = 0; x < r.image.Width(); ++x) {
            const int index = r.image.GetPixelIndex(x, y);
            r.image.AlphaSet(x, y, index < count ? trans[index] : 255);
        }
    }
}

void CopyRows(Reader& r, int bytesPerPixel) {
    CxImage& image = r.image;
    const std::uint32_t width = image.Width();
    const std::uint32_t height = image.Height();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = r.rows[y];
        const std::uint32_t dst = height - 1 - y;
        if (bytesPerPixel == 1) {
            for (std::uint32_t x = 0; x < width; ++x) {
                image.SetPixelIndex(x, dst, src[x]);
            }
            continue;
        }
        std::uint8_t* out = image.GetBits(dst);
        if (bytesPerPixel == 3) {
            std::memcpy(out, src, std::size_t{width} * 3);
            continue;
        }
        std::uint8_t* alpha = image.AlphaGetPointer(0, dst);
        for (std::uint32_t x = 0; x < width; ++x) {
            out[3 * x] = src[4 * x];
            out[3 * x + 1] = src[4 * x + 1];
            out[3 * x + 2] = src[4 * x + 2];
            alpha[x] = src[4 * x + 3];
        }
    }
}

bool ReadPng(png_structp png, png_infop info, Reader& r) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, &r, ReadBytes);
    png_read_info(png, info);
    const int bytesPerPixel = PrepareImage(png, info, r);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const std::uint32_t height = r.image.Height();
    if (rowBytes < std::size_t{r.image.Width()} * bytesPerPixel) {
        png_error(png, "unexpected row size");
    }
    r.buffer.resize(rowBytes * height);
    r.rows.resize(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        r.rows[y] = r.buffer.data() + rowBytes * y;
    }
    png_read_image(png, r.rows.data());
    png_read_end(png, nullptr);
    CopyRows(r, bytesPerPixel);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        ApplyPaletteAlpha(png, info, r);
    }
    png_uint_32 xRes = 0, yRes = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER) {
        r.image.SetXDPI(static_cast<std::int32_t>((xRes * 254ULL + 5000) / 10000));
        r.image.SetYDPI(static_cast<std::int32_t>((yRes * 254ULL + 5000) / 10000));
    }
    return true;
}

void SetHeader(png_structp png, png_infop info, const CxImage& image, bool rgba) {
    const std::uint32_t bpp = image.GetBpp();
    const bool palette = bpp <= 8 && !rgba;
    png_set_IHDR(png, info, image.Width(), image.Height(), palette ? static_cast<int>(bpp) : 8,
                 palette ? PNG_COLOR_TYPE_PALETTE
                         : (rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB),
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        std::vector<png_color> colors;
        for (const RgbQuad& c : image.GetPalette()) {
            colors.push_back(png_color{c.red, c.green, c.blue});
        }
        png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
        if (image.IsTransparent()) {
            std::vector<png_byte> trans(static_cast<std::size_t>(image.GetTransIndex()) + 1, 255);
            trans.back() = 0;
            png_set_tRNS(png, info, trans.data(), static_cast<int>(trans.size()), nullptr);
        }
    } else if (!rgba && image.IsTransparent()) {
        const RgbQuad c = image.GetTransColor();
        png_color_16 value{0, c.red, c.green, c.blue, 0};
        png_set_tRNS(png, info, nullptr, 0, &value);
    }
    const auto toMeter = [](std::int32_t dpi) {
        return static_cast<png_uint_32>((dpi * 10000LL + 127) / 254);
    };
    png_set_pHYs(png, info, toMeter(image.GetXDPI()), toMeter(image.GetYDPI()),
                 PNG_RESOLUTION_METER);
}

bool WritePng(png_structp png, png_infop info, const CxImage& image, Writer& w) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, &w, WriteBytes, FlushBytes);
    // Palette pictures with an alpha plane are written as RGBA.
    const bool rgba = image.AlphaIsValid();
    SetHeader(png, info, image, rgba);
    if (const int level = image.GetPngCompression(); level >= 0) {
        png_set_compression_level(png, level);
        if (level <= 3) {
            // Fast saves: one cheap filter instead of trying every filter per row.
            png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        }
    }
    png_write_info(png, info);
    const std::uint32_t width = image.Width();
    w.row.resize(std::size_t{width} * 4);
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        const std::uint32_t src = image.Height() - 1 - y;
        if (!rgba && image.GetBpp() <= 8) {
            png_write_row(png, const_cast<png_bytep>(image.GetBits(src)));
            continue;
        }
        std::uint8_t* out = w.row.data();
        for (std::uint32_t x = 0; x < width; ++x) {
            const RgbQuad c = image.GetPixelColor(x, src);
            *out++ = c.red;
            *out++ = c.green;
            *out++ = c.blue;
            if (rgba) {
                *out++ = c.reserved;
            }
        }
        png_write_row(png, w.row.data());
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool CxImagePNG::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0) {
        image.SetLastError("PNG: not a PNG file");
        return false;
    }
    Reader r;
    r.data = data;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.error, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        image.SetLastError("PNG: out of memory");
        return false;
    }
    const bool ok = ReadPng(png, info, r);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        image.SetLastError(r.error.empty() ? "PNG: cannot decode" : r.error);
        return false;
    }
    image = std::move(r.image);
    return true;
}

bool CxImagePNG::Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    if (!image.IsValid()) {
        error = "PNG: no picture to write";
        return false;
    }
    Writer w;
    w.out = &out;
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.error, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "PNG: out of memory";
        return false;
    }
    const bool ok = WritePng(png, info, image, w);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        error = w.error.empty() ? "PNG: cannot encode" : w.error;
        out.clear();
    }
    return ok;
}
