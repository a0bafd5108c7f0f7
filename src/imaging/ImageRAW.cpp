#include "imaging/ImageRAW.h"

#include "imaging/ImageJPG.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

bool Fail(CxImage& image, const std::string& text) {
    image.SetLastError(text);
    return false;
}

// Data errors are counted by the decoder; nothing is printed.
void QuietDataError(void*, const char*, const int) {}

struct MemImageDeleter {
    void operator()(libraw_processed_image_t* p) const { LibRaw::dcraw_clear_mem(p); }
};
using MemImage = std::unique_ptr<libraw_processed_image_t, MemImageDeleter>;

bool StartsWith(std::span<const std::uint8_t> data, std::size_t at, std::string_view text) {
    return data.size() >= at + text.size() &&
           std::memcmp(data.data() + at, text.data(), text.size()) == 0;
}

// Opens the file and checks that it is a raw picture of a size we can hold.
bool Open(LibRaw& raw, std::span<const std::uint8_t> data, CxImage& image) {
    if (!CxImageRAW::LooksLikeRaw(data)) {
        return Fail(image, "RAW: not a camera raw file");
    }
    raw.set_dataerror_handler(QuietDataError, nullptr);
    // LibRaw only reads the buffer despite its signature.
    const int rc = raw.open_buffer(const_cast<std::uint8_t*>(data.data()), data.size());
    if (rc != LIBRAW_SUCCESS) {
        return Fail(image, std::string("RAW: ") + libraw_strerror(rc));
    }
    const auto& sizes = raw.imgdata.sizes;
    if (sizes.width == 0 || sizes.height == 0 ||
        !CxImage::CheckDimensions(sizes.raw_width, sizes.raw_height, 24) ||
        !CxImage::CheckDimensions(sizes.width, sizes.height, 24)) {
        return Fail(image, "RAW: invalid dimensions");
    }
    return true;
}

// Copies an 8-bit RGB (or grey) bitmap made by the decoder into `image`.
bool FromBitmap(const libraw_processed_image_t& mem, CxImage& image) {
    if (mem.type != LIBRAW_IMAGE_BITMAP || mem.bits != 8 || (mem.colors != 3 && mem.colors != 1)) {
        return Fail(image, "RAW: unexpected decoder output");
    }
    CxImage out;
    if (!out.Create(mem.width, mem.height, 24, imaging::kFormatRaw)) {
        return Fail(image, out.GetLastError());
    }
    const std::size_t stride = std::size_t{mem.width} * mem.colors;
    if (mem.data_size < stride * mem.height) {
        return Fail(image, "RAW: unexpected decoder output");
    }
    for (std::uint32_t row = 0; row < mem.height; ++row) {
        const std::uint8_t* src = mem.data + row * stride;
        std::uint8_t* dst = out.GetBits(mem.height - 1u - row);
        for (std::uint32_t x = 0; x < mem.width; ++x) {
            const std::uint8_t* p = src + x * mem.colors;
            const std::uint8_t* rgb = mem.colors == 3 ? p : nullptr;
            dst[x * 3] = rgb ? rgb[2] : p[0];
            dst[x * 3 + 1] = rgb ? rgb[1] : p[0];
            dst[x * 3 + 2] = rgb ? rgb[0] : p[0];
        }
    }
    image = std::move(out);
    return true;
}

bool Develop(LibRaw& raw, CxImage& image) {
    int rc = raw.unpack();
    if (rc == LIBRAW_SUCCESS) {
        rc = raw.dcraw_process();
    }
    if (rc != LIBRAW_SUCCESS) {
        return Fail(image, std::string("RAW: ") + libraw_strerror(rc));
    }
    MemImage mem(raw.dcraw_make_mem_image(&rc));
    if (!mem) {
        return Fail(image, std::string("RAW: ") + libraw_strerror(rc));
    }
    return FromBitmap(*mem, image);
}

void SetDevelopParams(LibRaw& raw, bool half) {
    auto& params = raw.imgdata.params;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    params.half_size = half ? 1 : 0;
}

} // namespace

bool CxImageRAW::LooksLikeRaw(std::span<const std::uint8_t> data) {
    // TIFF-based raws (NEF, CR2, ARW, DNG, PEF, SRW, …) and the makers'
    // own headers.
    return StartsWith(data, 0, "II*\0") || StartsWith(data, 0, "MM\0*") ||
           StartsWith(data, 0, "IIRO") || StartsWith(data, 0, "IIRS") ||
           StartsWith(data, 0, "MMOR") || StartsWith(data, 0, "IIU\0") ||
           StartsWith(data, 0, "FUJIFILM") || StartsWith(data, 0, std::string_view("\0MRM", 4)) ||
           StartsWith(data, 0, "FOVb") || StartsWith(data, 6, "HEAPCCDR") ||
           StartsWith(data, 4, "ftypcrx ");
}

bool CxImageRAW::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    auto raw = std::make_unique<LibRaw>(0);
    if (!Open(*raw, data, image)) {
        return false;
    }
    SetDevelopParams(*raw, false);
    return Develop(*raw, image);
}

bool CxImageRAW::DecodeThumbnail(std::span<const std::uint8_t> data, CxImage& image,
                                 std::uint32_t minWidth, std::uint32_t minHeight) {
    auto raw = std::make_unique<LibRaw>(0);
    if (!Open(*raw, data, image)) {
        return false;
    }
    const auto& thumb = raw->imgdata.thumbnail;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG && thumb.twidth >= minWidth &&
        thumb.theight >= minHeight && raw->unpack_thumb() == LIBRAW_SUCCESS) {
        int rc = 0;
        MemImage mem(raw->dcraw_make_mem_thumb(&rc));
        CxImage preview;
        if (mem && mem->type == LIBRAW_IMAGE_JPEG &&
            CxImageJPG::DecodeScaled(std::span<const std::uint8_t>(mem->data, mem->data_size),
                                     preview, minWidth, minHeight)) {
            preview.SetType(imaging::kFormatRaw);
            image = std::move(preview);
            return true;
        }
    }
    SetDevelopParams(*raw, true);
    return Develop(*raw, image);
}
