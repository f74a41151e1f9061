#include "imaging/ChannelLuts.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ocu;

namespace {

// A gamma curve that is clearly not the identity.
LutBlock WithGammaCurve() {
    LutBlock luts = IdentityLuts();
    for (int i = 0; i < 256; ++i)
        luts[kLutGamma][static_cast<size_t>(i)] =
            static_cast<uint8_t>(std::lround(255.0 * std::sqrt(i / 255.0)));
    return luts;
}

} // namespace

TEST(ChannelLuts, ScalesEachChannel) {
    LutBlock luts = IdentityLuts();
    ASSERT_EQ(BuildChannelLuts(luts, false, 2.0, 1.0, 0.5), 1);
    for (int i = 0; i < 256; ++i) {
        const auto at = static_cast<size_t>(i);
        EXPECT_EQ(luts[kLutRed][at], std::min(2 * i, 255)) << i;
        EXPECT_EQ(luts[kLutGreen][at], i) << i;
        EXPECT_EQ(luts[kLutBlue][at], i / 2) << i;
    }
    EXPECT_EQ(luts[kLutRed][127], 254);
    EXPECT_EQ(luts[kLutRed][128], 255);
    EXPECT_EQ(luts[kLutBlue][255], 127);
}

TEST(ChannelLuts, TruncatesBeforeCapping) {
    LutBlock luts = IdentityLuts();
    ASSERT_EQ(BuildChannelLuts(luts, false, 1.999, 0.999, 1e9), 1);
    EXPECT_EQ(luts[kLutRed][1], 1);     // 1.999
    EXPECT_EQ(luts[kLutRed][200], 255); // 399.8
    EXPECT_EQ(luts[kLutGreen][255], 254);
    EXPECT_EQ(luts[kLutBlue][0], 0);
    EXPECT_EQ(luts[kLutBlue][1], 255);
}

TEST(ChannelLuts, AnEndlessRatioSaturatesEveryLevelButBlack) {
    // A settings file can hold an infinite ratio; infinity times level 0 is not a number.
    const double endless = std::numeric_limits<double>::infinity();
    for (const bool gammaOn : {false, true}) {
        LutBlock luts = WithGammaCurve();
        ASSERT_EQ(luts[kLutGamma][0], 0);
        ASSERT_EQ(BuildChannelLuts(luts, gammaOn, endless, 1.0, endless), 1);
        EXPECT_EQ(luts[kLutRed][0], 0) << gammaOn;
        EXPECT_EQ(luts[kLutBlue][0], 0) << gammaOn;
        for (size_t i = 1; i < 256; ++i) {
            EXPECT_EQ(luts[kLutRed][i], 255) << i;
            EXPECT_EQ(luts[kLutBlue][i], 255) << i;
        }
        EXPECT_EQ(luts[kLutGreen][0], 0);
    }
}

TEST(ChannelLuts, UnitRatiosCopyTheGammaCurveOrRestoreTheIdentity) {
    LutBlock luts = WithGammaCurve();
    ASSERT_EQ(BuildChannelLuts(luts, true, 1.0, 1.0, 1.0), 1);
    EXPECT_EQ(luts[kLutRed], luts[kLutGamma]);
    EXPECT_EQ(luts[kLutGreen], luts[kLutGamma]);
    EXPECT_EQ(luts[kLutBlue], luts[kLutGamma]);

    // Gamma off again: the level itself is the base, and the curve stays for a later gamma on.
    const Lut curve = luts[kLutGamma];
    ASSERT_EQ(BuildChannelLuts(luts, false, 1.0, 1.0, 1.0), 1);
    EXPECT_EQ(luts[kLutRed], IdentityLuts()[0]);
    EXPECT_EQ(luts[kLutBlue], IdentityLuts()[0]);
    EXPECT_EQ(luts[kLutGamma], curve);
}

TEST(ChannelLuts, RatiosThatAreNotPositiveChangeNothing) {
    LutBlock luts = WithGammaCurve();
    ASSERT_EQ(BuildChannelLuts(luts, true, 2.0, 0.5, 1.5), 1);
    const LutBlock before = luts;
    EXPECT_EQ(BuildChannelLuts(luts, true, 1.0, 0.0, 1.0), 0);
    EXPECT_EQ(BuildChannelLuts(luts, false, -1.0, 1.0, 1.0), 0);
    EXPECT_EQ(BuildChannelLuts(luts, false, 1.0, 1.0, std::nan("")), 0);
    EXPECT_EQ(luts, before);
}
