#include "SampleFiles.h"

#include <string>
#include <utility>

namespace imagingtest {

namespace {

// A little-endian TIFF with one IFD, the tags given in ascending order.
class TiffWriter {
public:
    void Short(std::uint16_t tag, std::vector<std::uint16_t> values) {
        std::vector<std::uint8_t> bytes;
        for (auto v : values) {
            bytes.push_back(static_cast<std::uint8_t>(v));
            bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        Add(tag, 3, static_cast<std::uint32_t>(values.size()), bytes);
    }
    void Long(std::uint16_t tag, std::uint32_t v) { Add(tag, 4, 1, Le32(v)); }
    void Byte(std::uint16_t tag, std::vector<std::uint8_t> values) {
        Add(tag, 1, static_cast<std::uint32_t>(values.size()), values);
    }
    void Ascii(std::uint16_t tag, const std::string& text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        Add(tag, 2, static_cast<std::uint32_t>(bytes.size()), bytes);
    }
    void SRational(std::uint16_t tag, std::vector<std::pair<std::int32_t, std::int32_t>> values) {
        std::vector<std::uint8_t> bytes;
        for (auto [n, d] : values) {
            for (auto v : {n, d}) {
                auto le = Le32(static_cast<std::uint32_t>(v));
                bytes.insert(bytes.end(), le.begin(), le.end());
            }
        }
        Add(tag, 10, static_cast<std::uint32_t>(values.size()), bytes);
    }
    // Header, IFD, the values that do not fit an entry, then the strip.
    std::vector<std::uint8_t> Finish(const std::vector<std::uint8_t>& strip,
                                     std::uint16_t stripTag) {
        const std::uint32_t ifdSize = 2 + 12 * static_cast<std::uint32_t>(m_entries.size()) + 4;
        std::uint32_t extra = 8 + ifdSize;
        std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
        std::vector<std::uint8_t> values;
        out.push_back(static_cast<std::uint8_t>(m_entries.size()));
        out.push_back(0);
        std::uint32_t stripOffset = extra;
        for (const Entry& e : m_entries) {
            if (e.bytes.size() > 4) {
                stripOffset += static_cast<std::uint32_t>(e.bytes.size() + (e.bytes.size() & 1));
            }
        }
        for (const Entry& e : m_entries) {
            auto put16 = [&](std::uint16_t v) {
                out.push_back(static_cast<std::uint8_t>(v));
                out.push_back(static_cast<std::uint8_t>(v >> 8));
            };
            put16(e.tag);
            put16(e.type);
            auto count = Le32(e.count);
            out.insert(out.end(), count.begin(), count.end());
            std::vector<std::uint8_t> field = e.bytes;
            if (e.tag == stripTag) {
                field = Le32(stripOffset);
            }
            if (field.size() <= 4) {
                field.resize(4, 0);
                out.insert(out.end(), field.begin(), field.end());
            } else {
                auto offset = Le32(extra + static_cast<std::uint32_t>(values.size()));
                out.insert(out.end(), offset.begin(), offset.end());
                values.insert(values.end(), field.begin(), field.end());
                if (values.size() & 1) {
                    values.push_back(0);
                }
            }
        }
        out.insert(out.end(), 4, 0);
        out.insert(out.end(), values.begin(), values.end());
        out.insert(out.end(), strip.begin(), strip.end());
        return out;
    }

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<std::uint8_t> bytes;
    };
    static std::vector<std::uint8_t> Le32(std::uint32_t v) {
        return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    }
    void Add(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
             std::vector<std::uint8_t> bytes) {
        m_entries.push_back({tag, type, count, std::move(bytes)});
    }
    std::vector<Entry> m_entries;
};

// Little-endian record writer for the metafiles.
class Bytes {
public:
    Bytes& U16(std::uint32_t v) {
        m_bytes.push_back(static_cast<std::uint8_t>(v));
        m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    Bytes& U32(std::uint32_t v) { return U16(v & 0xffff).U16(v >> 16); }
    Bytes& S16(int v) { return U16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    Bytes& S32(int v) { return U32(static_cast<std::uint32_t>(v)); }
    Bytes& Raw(const std::vector<std::uint8_t>& b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    std::vector<std::uint8_t>& Data() { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// The 2 × 2 24-bit bitmap (info header and rows) the metafiles show.
std::vector<std::uint8_t> TestDib() {
    Bytes b;
    b.U32(40).S32(2).S32(2).U16(1).U16(24).U32(0).U32(16).U32(0).U32(0).U32(0).U32(0);
    // Bottom row: green, yellow; top row: cyan, magenta (blue, green, red).
    b.Raw({0, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 255, 0, 255, 0, 0});
    return b.Data();
}

// One WMF record: size in words, function, parameters.
void WmfRecord(Bytes& out, std::uint16_t function, Bytes params) {
    out.U32(static_cast<std::uint32_t>(3 + params.Size() / 2)).U16(function).Raw(params.Data());
}

void EmfRecord(Bytes& out, std::uint32_t type, Bytes params) {
    out.U32(type).U32(static_cast<std::uint32_t>(8 + params.Size())).Raw(params.Data());
}

} // namespace

// The mosaic (RGGB) of a picture whose left half is red and right half
// blue, at a quarter of the white level.
std::vector<std::uint8_t> MakeTestDng() {
    std::vector<std::uint8_t> strip;
    for (std::uint32_t y = 0; y < kTestDngSide; ++y) {
        for (std::uint32_t x = 0; x < kTestDngSide; ++x) {
            const bool redSite = y % 2 == 0 && x % 2 == 0;
            const bool blueSite = y % 2 == 1 && x % 2 == 1;
            const bool left = x < kTestDngSide / 2;
            const std::uint16_t v = (left && redSite) || (!left && blueSite) ? 16000 : 500;
            strip.push_back(static_cast<std::uint8_t>(v));
            strip.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    TiffWriter w;
    w.Long(254, 0);
    w.Short(256, {kTestDngSide});
    w.Short(257, {kTestDngSide});
    w.Short(258, {16});
    w.Short(259, {1});
    w.Short(262, {32803}); // colour filter array
    w.Ascii(271, "Orvanta");
    w.Ascii(272, "Test Camera");
    w.Long(273, 0); // strip offset, filled in by Finish
    w.Short(274, {1});
    w.Short(277, {1});
    w.Short(278, {kTestDngSide});
    w.Long(279, static_cast<std::uint32_t>(strip.size()));
    w.Short(284, {1});
    w.Short(33421, {2, 2});
    w.Byte(33422, {0, 1, 1, 2});
    w.Byte(50706, {1, 4, 0, 0});
    w.Ascii(50708, "Orvanta Test Camera");
    w.Short(50717, {65535});
    w.SRational(50721, {{1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}});
    w.Short(50778, {21});
    return w.Finish(strip, 273);
}

std::vector<std::uint8_t> MakeTestWmf() {
    Bytes records;
    WmfRecord(records, 0x02fc, Bytes().U16(0).U32(0x0000ff).U16(0)); // red brush: object 0
    WmfRecord(records, 0x012d, Bytes().U16(0));
    WmfRecord(records, 0x02fa, Bytes().U16(5).S16(0).S16(0).U32(0)); // no pen: object 1
    WmfRecord(records, 0x012d, Bytes().U16(1));
    WmfRecord(records, 0x041b, Bytes().S16(30).S16(50).S16(10).S16(10)); // rectangle
    WmfRecord(records, 0x02fc, Bytes().U16(0).U32(0xff0000).U16(0));     // blue brush: object 2
    WmfRecord(records, 0x012d, Bytes().U16(2));
    WmfRecord(records, 0x0418, Bytes().S16(40).S16(90).S16(10).S16(60)); // ellipse
    WmfRecord(records, 0x02fc, Bytes().U16(0).U32(0x00ff00).U16(0));     // green brush: object 3
    WmfRecord(records, 0x012d, Bytes().U16(3));
    WmfRecord(records, 0x0324,
              Bytes().U16(3).S16(0).S16(59).S16(20).S16(59).S16(0).S16(39)); // triangle
    WmfRecord(records, 0x02fa, Bytes().U16(0).S16(3).S16(0).U32(0)); // black pen, 3 wide: object 4
    WmfRecord(records, 0x012d, Bytes().U16(4));
    WmfRecord(records, 0x0214, Bytes().S16(5).S16(0));  // move to (0, 5)
    WmfRecord(records, 0x0213, Bytes().S16(5).S16(99)); // line to (99, 5)
    WmfRecord(records, 0x0209, Bytes().U32(0));         // black text
    WmfRecord(records, 0x0102, Bytes().U16(1));         // transparent background
    WmfRecord(records, 0x0521, Bytes().U16(2).Raw({'W', 'W'}).S16(34).S16(20)); // "WW" at (20, 34)
    // The bitmap stretched onto (70, 45)-(90, 55).
    WmfRecord(records, 0x0f43,
              Bytes()
                  .U32(0x00cc0020)
                  .U16(0)
                  .S16(2)
                  .S16(2)
                  .S16(0)
                  .S16(0)
                  .S16(10)
                  .S16(20)
                  .S16(45)
                  .S16(70)
                  .Raw(TestDib()));
    WmfRecord(records, 0x0000, Bytes());

    Bytes file;
    file.U32(0x9ac6cdd7).U16(0).S16(0).S16(0).S16(100).S16(60).U16(96).U32(0).U16(0);
    file.U16(1)
        .U16(9)
        .U16(0x300)
        .U32(static_cast<std::uint32_t>((18 + records.Size()) / 2))
        .U16(5)
        .U32(64)
        .U16(0);
    file.Raw(records.Data());
    return file.Data();
}

std::vector<std::uint8_t> MakeTestEmf() {
    Bytes records;
    EmfRecord(records, 39, Bytes().U32(1).U32(0).U32(0x0000ff).U32(0)); // red brush: handle 1
    EmfRecord(records, 37, Bytes().U32(1));
    EmfRecord(records, 37, Bytes().U32(0x80000008));                    // the stock null pen
    EmfRecord(records, 43, Bytes().S32(10).S32(10).S32(50).S32(30));    // rectangle
    EmfRecord(records, 39, Bytes().U32(2).U32(0).U32(0xff0000).U32(0)); // blue brush: handle 2
    EmfRecord(records, 37, Bytes().U32(2));
    EmfRecord(records, 42, Bytes().S32(60).S32(10).S32(90).S32(40));    // ellipse
    EmfRecord(records, 39, Bytes().U32(3).U32(0).U32(0x00ff00).U32(0)); // green brush: handle 3
    EmfRecord(records, 37, Bytes().U32(3));
    EmfRecord(
        records, 86,
        Bytes().S32(0).S32(0).S32(0).S32(0).U32(3).S16(0).S16(59).S16(20).S16(59).S16(0).S16(39));
    EmfRecord(records, 38, Bytes().U32(4).U32(0).S32(3).S32(0).U32(0)); // black pen, 3 wide
    EmfRecord(records, 37, Bytes().U32(4));
    EmfRecord(records, 27, Bytes().S32(0).S32(5));
    EmfRecord(records, 54, Bytes().S32(99).S32(5));
    EmfRecord(records, 24, Bytes().U32(0));
    EmfRecord(records, 18, Bytes().U32(1));
    // Text "WW" at (20, 34): bounds, mode, scales, then the text block;
    // the string sits 76 bytes into the record.
    EmfRecord(records, 84,
              Bytes()
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .U32(1)
                  .U32(0)
                  .U32(0)
                  .S32(20)
                  .S32(34)
                  .U32(2)
                  .U32(76)
                  .U32(0)
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .U32(0)
                  .U16('W')
                  .U16('W'));
    // The bitmap stretched onto (70, 45)-(90, 55): info at 80, bits at 120.
    const auto dib = TestDib();
    EmfRecord(records, 81,
              Bytes()
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .S32(0)
                  .S32(70)
                  .S32(45)
                  .S32(0)
                  .S32(0)
                  .S32(2)
                  .S32(2)
                  .U32(80)
                  .U32(40)
                  .U32(120)
                  .U32(16)
                  .U32(0)
                  .U32(0x00cc0020)
                  .S32(20)
                  .S32(10)
                  .Raw(dib));
    EmfRecord(records, 14, Bytes().U32(0).U32(0).U32(20));

    // 100 × 60 pixels at 96 dots per inch on a 960 × 960 pixel, 254 × 254 mm device.
    Bytes header;
    header.U32(1).U32(88).S32(0).S32(0).S32(99).S32(59).S32(0).S32(0).S32(2646).S32(1588);
    header.U32(0x464d4520)
        .U32(0x10000)
        .U32(static_cast<std::uint32_t>(88 + records.Size()))
        .U32(19);
    header.U16(5).U16(0).U32(0).U32(0).U32(0).S32(960).S32(960).S32(254).S32(254);
    header.Raw(records.Data());
    return header.Data();
}

} // namespace imagingtest
