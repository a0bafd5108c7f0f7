#include "imaging/ImageMNG.h"

#include <libmng.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x8a, 'M', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// What the callbacks share: the input, the canvas (RGBA rows top-down) and
// what happened.
struct Session {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> canvas;
    bool refreshed = false;
    bool tooLarge = false;
    std::string error;
    std::uint32_t ticks = 0;
};

Session& Of(mng_handle h) {
    return *static_cast<Session*>(mng_get_userdata(h));
}

mng_ptr MNG_DECL Alloc(mng_size_t len) {
    return std::calloc(1, len); // the library expects zeroed memory
}

void MNG_DECL Free(mng_ptr p, mng_size_t) {
    std::free(p);
}

mng_bool MNG_DECL OpenStream(mng_handle) {
    return MNG_TRUE;
}

mng_bool MNG_DECL CloseStream(mng_handle) {
    return MNG_TRUE;
}

mng_bool MNG_DECL ReadData(mng_handle h, mng_ptr buf, mng_uint32 len, mng_uint32p read) {
    Session& s = Of(h);
    const std::size_t n = std::min<std::size_t>(len, s.data.size() - s.pos);
    std::memcpy(buf, s.data.data() + s.pos, n);
    s.pos += n;
    *read = static_cast<mng_uint32>(n);
    return MNG_TRUE;
}

mng_bool MNG_DECL ProcessHeader(mng_handle h, mng_uint32 width, mng_uint32 height) {
    Session& s = Of(h);
    if (!CxImage::CheckDimensions(width, height, 32)) {
        s.tooLarge = true;
        return MNG_FALSE;
    }
    s.width = width;
    s.height = height;
    s.canvas.assign(std::size_t{width} * height * 4, 0);
    return mng_set_canvasstyle(h, MNG_CANVAS_RGBA8) == MNG_NOERROR ? MNG_TRUE : MNG_FALSE;
}

mng_ptr MNG_DECL CanvasLine(mng_handle h, mng_uint32 line) {
    Session& s = Of(h);
    if (line >= s.height) {
        return nullptr;
    }
    return s.canvas.data() + std::size_t{line} * s.width * 4;
}

mng_bool MNG_DECL Refresh(mng_handle h, mng_uint32, mng_uint32, mng_uint32, mng_uint32) {
    Of(h).refreshed = true;
    return MNG_TRUE;
}

mng_uint32 MNG_DECL TickCount(mng_handle h) {
    // Time only moves when the decoder asks to wait, so nothing sleeps.
    return Of(h).ticks;
}

mng_bool MNG_DECL SetTimer(mng_handle h, mng_uint32 msecs) {
    Of(h).ticks += msecs;
    return MNG_TRUE;
}

mng_bool MNG_DECL OnError(mng_handle h, mng_int32, mng_int8, mng_chunkid, mng_uint32, mng_int32,
                          mng_int32, mng_pchar text) {
    Session& s = Of(h);
    if (s.error.empty() && text) {
        s.error = text;
    }
    return MNG_FALSE;
}

bool Fail(CxImage& image, const std::string& text) {
    image.SetLastError(text);
    return false;
}

struct HandleCloser {
    mng_handle handle;
    ~HandleCloser() {
        if (handle) {
            mng_cleanup(&handle);
        }
    }
};

} // namespace

bool CxImageMNG::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    if (data.size() < kSignature.size() ||
        std::memcmp(data.data(), kSignature.data(), kSignature.size()) != 0) {
        return Fail(image, "MNG: not an MNG file");
    }
    Session s;
    s.data = data;
    HandleCloser h{mng_initialize(&s, Alloc, Free, MNG_NULL)};
    if (!h.handle) {
        return Fail(image, "MNG: cannot start the decoder");
    }
    if (mng_setcb_openstream(h.handle, OpenStream) != MNG_NOERROR ||
        mng_setcb_closestream(h.handle, CloseStream) != MNG_NOERROR ||
        mng_setcb_readdata(h.handle, ReadData) != MNG_NOERROR ||
        mng_setcb_processheader(h.handle, ProcessHeader) != MNG_NOERROR ||
        mng_setcb_getcanvasline(h.handle, CanvasLine) != MNG_NOERROR ||
        mng_setcb_refresh(h.handle, Refresh) != MNG_NOERROR ||
        mng_setcb_gettickcount(h.handle, TickCount) != MNG_NOERROR ||
        mng_setcb_settimer(h.handle, SetTimer) != MNG_NOERROR ||
        mng_setcb_errorproc(h.handle, OnError) != MNG_NOERROR) {
        return Fail(image, "MNG: cannot start the decoder");
    }
    // Reading stops at the first frame's delay (the decoder asks for a
    // timer) or at the end of a still picture.
    const mng_retcode rc = mng_readdisplay(h.handle);
    if (s.tooLarge) {
        return Fail(image, "MNG: dimensions too large");
    }
    if ((rc != MNG_NOERROR && rc != MNG_NEEDTIMERWAIT) || !s.refreshed || s.canvas.empty()) {
        return Fail(image, "MNG: " + (s.error.empty() ? std::string("cannot decode the picture")
                                                      : s.error));
    }
    CxImage out;
    if (!out.Create(s.width, s.height, 24, imaging::kFormatMng)) {
        return Fail(image, out.GetLastError());
    }
    bool translucent = false;
    for (std::size_t i = 3; i < s.canvas.size(); i += 4) {
        translucent = translucent || s.canvas[i] != 255;
    }
    if (translucent) {
        out.AlphaCreate();
    }
    for (std::uint32_t row = 0; row < s.height; ++row) {
        const std::uint32_t y = s.height - 1 - row;
        const std::uint8_t* src = s.canvas.data() + std::size_t{row} * s.width * 4;
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < s.width; ++x) {
            dst[x * 3] = src[x * 4 + 2];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4];
            if (translucent) {
                out.AlphaSet(x, y, src[x * 4 + 3]);
            }
        }
    }
    image = std::move(out);
    return true;
}
