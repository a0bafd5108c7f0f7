// MNG: a still MNG and the first frame of an animation decode to
// ImageMagick's pixels; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageMNG, FirstFrameLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string still = home.Temp() + "/still.mng";
    const std::string animation = home.Temp() + "/animation.mng";
    ASSERT_TRUE(imagingtest::Convert({color, still}));
    ASSERT_TRUE(
        imagingtest::Convert({"-delay", "20", color, "-size", "13x7", "xc:black", animation}));
    for (const std::string& path : {still, animation}) {
        // The decoder's colour handling may round a channel by one.
        imagingtest::ExpectLikeMagick(path, imaging::kFormatMng, 1);
        CxImage detected;
        ASSERT_TRUE(detected.LoadFile(path)) << detected.GetLastError();
        EXPECT_EQ(detected.GetType(), imaging::kFormatMng);
    }
    // Half of the animation may still hold its whole first frame; the still
    // picture needs all of its data.
    imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(still), imaging::kFormatMng, 40,
                                        false);
}

} // namespace
