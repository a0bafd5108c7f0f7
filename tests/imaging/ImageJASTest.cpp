// JPEG 2000: JP2 files and bare J2K code streams (colour, grey, with
// alpha) decode to ImageMagick's pixels; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageJAS, DecodesLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int type;
    } cases[] = {
        {"rgb.jp2", {}, imaging::kFormatJp2},
        {"grey.jp2", {"-colorspace", "gray"}, imaging::kFormatJp2},
        {"alpha.jp2",
         {"-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "+channel"},
         imaging::kFormatJp2},
        {"rgb.j2k", {}, imaging::kFormatJpc},
        {"grey.j2k", {"-colorspace", "gray"}, imaging::kFormatJpc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = home.Temp() + "/" + c.name;
        std::string command = "/usr/bin/convert '" + color + "'";
        for (const auto& o : c.options) {
            command += " '" + o + "'";
        }
        ASSERT_EQ(std::system((command + " '" + path + "'").c_str()), 0);
        imagingtest::ExpectLikeMagick(path, c.type, 1);
        CxImage detected;
        ASSERT_TRUE(detected.LoadFile(path)) << detected.GetLastError();
        EXPECT_EQ(detected.GetType(), c.type);
        imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), c.type, 40, false);
    }
}

} // namespace
