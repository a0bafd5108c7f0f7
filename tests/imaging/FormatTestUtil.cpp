#include "FormatTestUtil.h"

#include "ImageTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace imagingtest {

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

void ExpectFails(const std::vector<std::uint8_t>& bytes, int type, const std::string& what) {
    SCOPED_TRACE(what);
    CxImage image;
    const bool ok = image.Decode(bytes, type);
    EXPECT_FALSE(ok) << "decoded " << image.Width() << "x" << image.Height();
    EXPECT_FALSE(image.GetLastError().empty());
    EXPECT_FALSE(image.IsValid());
}

} // namespace

bool Convert(std::initializer_list<std::string> args) {
    std::string command = "/usr/bin/convert";
    for (const std::string& a : args) {
        command += " " + Quote(a);
    }
    command += " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

std::string MakeColorSource(const std::string& folder) {
    const std::string path = folder + "/color-source.png";
    EXPECT_TRUE(Convert({"-size", "13x7", "gradient:red-blue", "-fill", "yellow", "-draw",
                         "rectangle 2,2 6,5", "-fill", "#30c060", "-draw", "point 12,6", path}));
    return path;
}

std::string MakeBilevelSource(const std::string& folder) {
    const std::string path = folder + "/bilevel-source.png";
    EXPECT_TRUE(Convert({"-size", "9x5", "xc:white", "-fill", "black", "-draw", "line 0,0 8,4",
                         "-draw", "point 8,0", "-type", "bilevel", path}));
    return path;
}

void ExpectLikeMagick(const std::string& path, int type, int tolerance) {
    SCOPED_TRACE(path);
    CxImage image;
    ASSERT_TRUE(image.LoadFile(path, type)) << image.GetLastError();
    EXPECT_EQ(image.GetType(), type);
    const auto reference = MagickDecode(path);
    ASSERT_TRUE(reference.has_value()) << "reference decoder failed";
    EXPECT_EQ(image.Width(), reference->width);
    EXPECT_EQ(image.Height(), reference->height);
    EXPECT_LE(MaxDifference(ToRgba(image), *reference), tolerance);
}

void ExpectBrokenCopiesFail(const std::vector<std::uint8_t>& bytes, int type,
                            std::size_t headerBytes, bool lastByteMatters) {
    ASSERT_GT(bytes.size(), headerBytes);
    ExpectFails({}, type, "empty");
    ExpectFails({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(headerBytes / 2)}, type,
                "inside the header");
    ExpectFails({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(headerBytes)}, type,
                "header only");
    ExpectFails({bytes.begin(),
                 bytes.begin() +
                     static_cast<std::ptrdiff_t>(headerBytes + (bytes.size() - headerBytes) / 2)},
                type, "half the data");
    if (lastByteMatters) {
        ExpectFails({bytes.begin(), bytes.end() - 1}, type, "last byte missing");
    }
    std::vector<std::uint8_t> corrupt = bytes;
    for (std::size_t i = 0; i < std::min<std::size_t>(4, corrupt.size()); ++i) {
        corrupt[i] = static_cast<std::uint8_t>(~corrupt[i]);
    }
    ExpectFails(corrupt, type, "corrupted signature");
}

} // namespace imagingtest
