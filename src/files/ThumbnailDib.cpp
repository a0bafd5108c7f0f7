#include "files/ThumbnailDib.h"

std::unique_ptr<ThumbnailDib> ThumbnailDib::FromImage(const CxImage& image) {
    if (!image.IsValid()) {
        return nullptr;
    }
    auto dib = std::make_unique<ThumbnailDib>();
    dib->header = image.GetHeader();
    const auto palette = image.GetPalette();
    dib->colorTable.assign(palette.begin(), palette.end());
    const std::uint8_t* first = image.GetBits(0);
    dib->bits.assign(first, first + image.GetEffWidth() * image.Height());
    dib->header.sizeImage = static_cast<std::uint32_t>(dib->bits.size());
    dib->header.clrUsed = static_cast<std::uint32_t>(dib->colorTable.size());
    return dib;
}
