// PNM: every kind (P1 to P6), 8- and 16-bit samples, comments in the
// header; decoded like ImageMagick; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ImagePNM, EveryKindLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string bilevel = imagingtest::MakeBilevelSource(home.Temp());
    struct Case {
        const char* name;
        std::string source;
        std::vector<std::string> options;
        bool plain;
    } cases[] = {
        {"p4.pbm", bilevel, {}, false},
        {"p1.pbm", bilevel, {"-compress", "none"}, true},
        {"p5.pgm", color, {"-colorspace", "gray"}, false},
        {"p2.pgm", color, {"-colorspace", "gray", "-compress", "none"}, true},
        {"p6.ppm", color, {}, false},
        {"p3.ppm", color, {"-compress", "none"}, true},
        {"p6-16.ppm", color, {"-depth", "16"}, false},
        {"p2-16.pgm", color, {"-colorspace", "gray", "-depth", "16", "-compress", "none"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = home.Temp() + "/" + c.name;
        std::string command = "/usr/bin/convert '" + c.source + "'";
        for (const auto& o : c.options) {
            command += " '" + o + "'";
        }
        ASSERT_EQ(std::system((command + " '" + path + "'").c_str()), 0);
        // Grey pictures come out with 16-bit samples; their rounding to 8
        // bits may differ from ImageMagick's by one.
        imagingtest::ExpectLikeMagick(path, imaging::kFormatPnm,
                                      c.name[1] == '4' || c.name[1] == '1' ? 0 : 1);
        // Plain files may end in a blank, so their last byte may not matter.
        imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatPnm, 8,
                                            !c.plain);
    }
}

TEST(ImagePNM, CommentsAndMaxValue) {
    const std::string text = "P2 # grey\n# a comment line\n3 1\n# max\n4\n0 2 4\n";
    CxImage image;
    ASSERT_TRUE(
        image.Decode(std::vector<std::uint8_t>(text.begin(), text.end()), imaging::kFormatPnm))
        << image.GetLastError();
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 0);
    EXPECT_EQ(image.GetPixelColor(1, 0).red, 128);
    EXPECT_EQ(image.GetPixelColor(2, 0).red, 255);
    const std::string bad = "P2\n3 1\n4\n0 2 x\n";
    EXPECT_FALSE(
        image.Decode(std::vector<std::uint8_t>(bad.begin(), bad.end()), imaging::kFormatPnm));
    EXPECT_EQ(image.GetLastError(), "PNM: invalid sample");
}

} // namespace
