#include "frame/SizeRule.h"

#include <gtest/gtest.h>

using namespace ocu;

namespace {

// Borders of a frame with a menu bar and thin edges.
constexpr FrameBorders kBorders{4, 42, 4, 4};

SizeRuleInput Mode(int resolution, int width, int height, WindowShow show = WindowShow::Normal) {
    SizeRuleInput in;
    in.resolution = resolution;
    in.width = width;
    in.height = height;
    in.screenWidth = 1920;
    in.screenHeight = 1080;
    in.borders = kBorders;
    in.show = show;
    return in;
}

// A proposal for a client area of the given size at (100, 50).
WindowPos Client(int width, int height) {
    return WindowPos{100, 50, width + 8, height + 46};
}

WindowPos Apply(const SizeRuleInput& in, WindowPos pos) {
    int wasIconic = 0;
    return ApplySizeRule(in, pos, wasIconic);
}

} // namespace

TEST(SizeRule, WidthAboveTheSensorSnapsBack) {
    EXPECT_EQ(Apply(Mode(1, 640, 480), Client(700, 400)), Client(640, 400));
    EXPECT_EQ(Apply(Mode(1, 640, 480), Client(640, 480)), Client(640, 480));
    EXPECT_EQ(Apply(Mode(1, 640, 480), Client(5000, 5000)), Client(640, 480));
}

TEST(SizeRule, WidthToMultipleOfFourHeightToMultipleOfTwo) {
    EXPECT_EQ(Apply(Mode(1, 640, 480), Client(638, 479)), Client(636, 478));
    EXPECT_EQ(Apply(Mode(0, 1280, 1024), Client(645, 483)), Client(644, 482));
    EXPECT_EQ(Apply(Mode(0, 1280, 1024), Client(3, 1)), Client(0, 0));
}

TEST(SizeRule, MaximiseInModeZeroFillsTheScreenUpToTheSensor) {
    // Screen less borders is 1912 x 1034, then limited to the 1280 x 1024 image, at the screen's corner.
    const WindowPos pos = Apply(Mode(0, 1280, 1024, WindowShow::Maximized), Client(300, 200));
    EXPECT_EQ(pos, (WindowPos{0, 0, 1288, 1070}));

    // On a screen smaller than the image the screen is the limit: 1016 x 722 client pixels.
    SizeRuleInput small = Mode(0, 1280, 1024, WindowShow::Maximized);
    small.screenWidth = 1024;
    small.screenHeight = 768;
    EXPECT_EQ(Apply(small, Client(300, 200)), (WindowPos{0, 0, 1024, 768}));

    // An odd screen still gives an image-shaped client area.
    small.screenWidth = 1023;
    small.screenHeight = 767;
    EXPECT_EQ(Apply(small, Client(300, 200)), (WindowPos{0, 0, 1020, 766}));
}

TEST(SizeRule, MaximiseInOtherModesGivesTheImageSizeWhereProposed) {
    const WindowPos pos = Apply(Mode(1, 640, 480, WindowShow::Maximized), WindowPos{-4, -4, 1928, 1088});
    EXPECT_EQ(pos, (WindowPos{-4, -4, 648, 526}));
}

TEST(SizeRule, RestoreAfterMinimiseIsLeftAsProposed) {
    int wasIconic = 0;
    const WindowPos minimized{-32000, -32000, 160, 28};
    EXPECT_EQ(ApplySizeRule(Mode(1, 640, 480, WindowShow::Minimized), minimized, wasIconic), minimized);
    EXPECT_EQ(wasIconic, 1);
    // Further changes while still minimised keep the memory.
    EXPECT_EQ(ApplySizeRule(Mode(1, 640, 480, WindowShow::Minimized), minimized, wasIconic), minimized);
    EXPECT_EQ(wasIconic, 1);

    const WindowPos restored = Client(999, 777);
    EXPECT_EQ(ApplySizeRule(Mode(1, 640, 480), restored, wasIconic), restored);
    EXPECT_EQ(wasIconic, 0);
    // The next change is clamped again.
    EXPECT_EQ(ApplySizeRule(Mode(1, 640, 480), restored, wasIconic), Client(640, 480));
}

TEST(SizeRule, MaximiseFromMinimisedSizesButDoesNotClamp) {
    int wasIconic = 1;
    const WindowPos pos =
        ApplySizeRule(Mode(0, 1280, 1024, WindowShow::Maximized), Client(10, 10), wasIconic);
    EXPECT_EQ(pos, (WindowPos{0, 0, 1920, 1080}));
    EXPECT_EQ(wasIconic, 0);
}

TEST(SizeRule, NoCameraAsksForAnEmptyClientArea) {
    EXPECT_EQ(Apply(Mode(0, 0, 0), Client(640, 480)), Client(0, 0));
}

TEST(Region, RoundsTheClientArea) {
    EXPECT_EQ(RegionForClient(645, 483, 1280, 1024), (Rect{0, 0, 644, 482}));
    EXPECT_EQ(RegionForClient(644, 482, 1280, 1024), (Rect{0, 0, 644, 482}));
    EXPECT_EQ(RegionForClient(3, 1, 1280, 1024), (Rect{0, 0, 0, 0}));
}

TEST(Region, NeverExceedsTheSensorImage) {
    // Whatever the window manager granted.
    EXPECT_EQ(RegionForClient(1920, 1080, 1280, 1024), (Rect{0, 0, 1280, 1024}));
    EXPECT_EQ(RegionForClient(1920, 1080, 1282, 1023), (Rect{0, 0, 1280, 1022}));
    EXPECT_EQ(RegionForClient(640, 480, 0, 0), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(RegionForClient(-5, -5, 640, 480), (Rect{0, 0, 0, 0}));
}

TEST(DevicePixels, ScaledLengthsRoundToWholeDevicePixelsWithinTheLength) {
    struct Case {
        int logical;
        double scale;
        int device;
        int back; // the longest logical length that covers no more than `device`
    };
    for (const Case c : {Case{320, 1.0, 320, 320}, Case{320, 2.0, 640, 320}, Case{101, 2.0, 202, 101},
                         Case{427, 1.5, 640, 426}, Case{3, 4.0 / 3.0, 4, 3}, Case{0, 2.0, 0, 0}}) {
        SCOPED_TRACE(c.logical);
        EXPECT_EQ(ToDevicePixels(c.logical, c.scale), c.device);
        EXPECT_EQ(ToLogicalPixels(c.device, c.scale), c.back);
        EXPECT_LE(ToDevicePixels(ToLogicalPixels(c.device, c.scale), c.scale), c.device);
    }
}
