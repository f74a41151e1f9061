// The vectorised Fast kernel against its one-pixel-at-a-time reference, and the reference against
// the Malvar-He-Cutler filters written out by hand.
#include "BaselineKernels.h"
#include "Demosaic.h"
#include "TestImages.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

using namespace pixtest;

namespace {

std::vector<uint8_t> Reference(const std::vector<uint8_t>& raw, int w, int h, int nLayout, const Lut& lut) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    const pixconv::RawImage image{raw.data(), w, h, pixconv::BayerPattern::FromLayout(nLayout)};
    pixconv::ConvertFastReference(image, out.data(),
                                  pixconv::PackedLut(lut.r.data(), lut.g.data(), lut.b.data()));
    return out;
}

std::vector<uint8_t> Vectorised(pixconv::FastPath path, const std::vector<uint8_t>& raw, int w, int h,
                                int nLayout, const Lut& lut) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    const pixconv::RawImage image{raw.data(), w, h, pixconv::BayerPattern::FromLayout(nLayout)};
    const uint8_t* const tables[3] = {lut.r.data(), lut.g.data(), lut.b.data()};
    pixconv::ConvertFast(path, image, out.data(), pixconv::PackedLut(tables[0], tables[1], tables[2]),
                         nullptr);
    return out;
}

// Every instruction-set path this processor runs, against the reference.
TEST(FastKernel, VectorPathsMatchReferenceBitForBit) {
    using pixconv::FastPath;
    Lut lut;
    const auto tables = RandomBytes(3 * 256, 99);
    for (int i = 0; i < 256; ++i) {
        lut.r[i] = tables[i];
        lut.g[i] = tables[256 + i];
        lut.b[i] = tables[512 + i];
    }
    for (FastPath path : {FastPath::kBaseline, FastPath::kAvx2, FastPath::kAvx512Vbmi}) {
        if (path > pixconv::BestFastPath()) {
            std::printf("path %d: not supported by this processor, not checked\n", static_cast<int>(path));
            continue;
        }
        for (int nLayout : kLayouts) {
            // Every width from the smallest up to several vector chunks, multiples of 4 and not, with
            // tails of every even length after the last whole chunk.
            for (int w : {2,  4,  6,  10, 18,  30,  32,  34,  36,  38,  60,  62,  64,   66,
                          68, 94, 96, 98, 100, 126, 128, 130, 132, 194, 196, 642, 1282, 1284}) {
                for (int h : {2, 4, 6, 10}) {
                    const auto raw = RandomBytes(static_cast<size_t>(w) * h, w * 7 + h + nLayout);
                    ASSERT_EQ(Vectorised(path, raw, w, h, nLayout, lut), Reference(raw, w, h, nLayout, lut))
                        << "path " << static_cast<int>(path) << " layout " << nLayout << " " << w << "x" << h;
                }
            }
        }
    }
}

// The published filters, applied to one interior pixel of each kind, with the interpolated colours drawn
// towards green by the detail that the green samples show (random samples show much).
TEST(FastKernel, ReferenceAppliesTheMalvarHeCutlerFilters) {
    const int w = 12, h = 12;
    const auto raw = RandomBytes(w * h, 5);
    auto p = [&](int x, int y) { return double(raw[y * w + x]); };
    auto level = [](double v) { return std::clamp(static_cast<int>(std::floor(v + 0.5)), 0, 255); };
    // A colour's difference from green shrinks by 3/16 of the detail, rounded down, towards nothing at most.
    auto towardsGreen = [](int colour, int green, double detail) {
        const int shrink = static_cast<int>(std::floor(3 * detail / 16)), difference = colour - green;
        return green + (difference > shrink    ? difference - shrink
                        : difference < -shrink ? difference + shrink
                                               : 0);
    };
    const auto out = Reference(raw, w, h, PIX_BAYER_RGGB, Identity());
    // RGGB: red at (even, even), blue at (odd, odd), green in red rows at (odd, even).
    const int rx = 6, ry = 6; // a red site
    const double greenAtRed =
        (4 * p(rx, ry) + 2 * (p(rx - 1, ry) + p(rx + 1, ry) + p(rx, ry - 1) + p(rx, ry + 1)) -
         (p(rx - 2, ry) + p(rx + 2, ry) + p(rx, ry - 2) + p(rx, ry + 2))) /
        8;
    const double blueAtRed =
        (6 * p(rx, ry) + 2 * (p(rx - 1, ry - 1) + p(rx + 1, ry - 1) + p(rx - 1, ry + 1) + p(rx + 1, ry + 1)) -
         1.5 * (p(rx - 2, ry) + p(rx + 2, ry) + p(rx, ry - 2) + p(rx, ry + 2))) /
        8;
    // At a red or blue site the detail is half the difference between its row and column neighbours.
    const double rowsAgainstColumns =
        std::abs(p(rx - 1, ry) + p(rx + 1, ry) - p(rx, ry - 1) - p(rx, ry + 1)) / 2;
    EXPECT_EQ(PixelAt(out, w, h, rx, ry),
              (Rgb{int(p(rx, ry)), level(greenAtRed),
                   towardsGreen(level(blueAtRed), level(greenAtRed), rowsAgainstColumns)}));
    const int gx = 7, gy = 6; // green in a red row: red to its left and right, blue above and below
    const double redAtGreen =
        (5 * p(gx, gy) + 4 * (p(gx - 1, gy) + p(gx + 1, gy)) - (p(gx - 2, gy) + p(gx + 2, gy)) -
         (p(gx - 1, gy - 1) + p(gx + 1, gy - 1) + p(gx - 1, gy + 1) + p(gx + 1, gy + 1)) +
         0.5 * (p(gx, gy - 2) + p(gx, gy + 2))) /
        8;
    const double blueAtGreen =
        (5 * p(gx, gy) + 4 * (p(gx, gy - 1) + p(gx, gy + 1)) - (p(gx, gy - 2) + p(gx, gy + 2)) -
         (p(gx - 1, gy - 1) + p(gx + 1, gy - 1) + p(gx - 1, gy + 1) + p(gx + 1, gy + 1)) +
         0.5 * (p(gx - 2, gy) + p(gx + 2, gy))) /
        8;
    // At a green site it is its mean distance from its diagonal neighbours.
    const double againstDiagonals = std::abs(4 * p(gx, gy) - p(gx - 1, gy - 1) - p(gx + 1, gy - 1) -
                                             p(gx - 1, gy + 1) - p(gx + 1, gy + 1)) /
                                    4;
    const int green = int(p(gx, gy));
    EXPECT_EQ(PixelAt(out, w, h, gx, gy),
              (Rgb{towardsGreen(level(redAtGreen), green, againstDiagonals), green,
                   towardsGreen(level(blueAtGreen), green, againstDiagonals)}));
    // Where green shows no detail the filters' colours stay whole: a smooth colour ramp.
    const int sw = 16, sh = 8;
    std::vector<uint8_t> ramp(sw * sh);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            ramp[y * sw + x] = static_cast<uint8_t>(ChannelAt(PIX_BAYER_RGGB, x, y) == 1 ? 120 : 40 + 9 * x);
    const auto smooth = Reference(ramp, sw, sh, PIX_BAYER_RGGB, Identity());
    EXPECT_EQ(PixelAt(smooth, sw, sh, 7, 4), (Rgb{40 + 9 * 7, 120, 40 + 9 * 7}));
}

TEST(Mirror, ReflectsAboutTheEdgeSamplesAndKeepsParity) {
    using pixconv::Mirror;
    EXPECT_EQ(Mirror(-1, 8), 1);
    EXPECT_EQ(Mirror(-2, 8), 2);
    EXPECT_EQ(Mirror(8, 8), 6);
    EXPECT_EQ(Mirror(9, 8), 5);
    for (int n : {2, 4, 6}) {
        for (int i = -20; i < 30; ++i) {
            const auto m = Mirror(i, n);
            ASSERT_GE(m, 0);
            ASSERT_LT(m, n);
            ASSERT_EQ((m - i) & 1, 0) << i << " in " << n;
        }
    }
}

} // namespace

namespace {

// The slower types work tile by tile; the seams between tiles must not show.
// Sizes whose width is not a multiple of 4 and tiles that do not divide the image are included.
TEST(TiledKernels, ResultDoesNotDependOnTheTileSize) {
    using Kernel = void (*)(const pixconv::RawImage&, uint8_t*, const pixconv::PackedLut&,
                            pixconv::WorkerPool*, std::ptrdiff_t);
    const Kernel kernels[] = {pixconv::ConvertHamiltonAdams, pixconv::ConvertRcd, pixconv::ConvertLmmse};
    const Lut lut = Identity();
    const pixconv::PackedLut packed(lut.r.data(), lut.g.data(), lut.b.data());
    for (auto [w, h] : {std::pair{132, 98}, {2, 2}, {6, 2}, {10, 6}, {18, 18}, {34, 10}, {130, 42}}) {
        const auto raw = RandomBytes(static_cast<size_t>(w) * h, 77 + w);
        for (int nLayout : kLayouts) {
            const pixconv::RawImage image{raw.data(), w, h, pixconv::BayerPattern::FromLayout(nLayout)};
            for (Kernel kernel : kernels) {
                std::vector<uint8_t> whole(static_cast<size_t>(w) * h * 3), tiled(whole.size());
                kernel(image, whole.data(), packed, nullptr, 1024);
                for (std::ptrdiff_t tile : {2, 14, 32, 48}) {
                    kernel(image, tiled.data(), packed, nullptr, tile);
                    ASSERT_EQ(tiled, whole) << w << "x" << h << " layout " << nLayout << " tile " << tile;
                }
            }
        }
    }
}

// Every conversion type through the library's entry point (the clones this processor runs, on the pool's
// threads) against the same sources built for baseline x86-64 alone, on noise that drives every choice of
// the kernels to both sides and on smooth shading, across tiles and at the smallest sizes.
TEST(TiledKernels, ChosenClonesMatchTheBaselineBuildBitForBit) {
    const Lut lut = Identity();
    for (auto [w, h] : {std::pair{418, 262}, {66, 34}, {2, 2}, {10, 6}}) {
        const auto noise = RandomBytes(static_cast<size_t>(w) * h, 5 + w);
        std::vector<uint8_t> shading(noise.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                shading[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(
                    128 + 90 * std::sin(0.05 * x * x / (1 + y)) * std::cos(0.07 * y) + (x % 2 ? 20 : 0));
        const std::vector<uint8_t>* const images[] = {&noise, &shading};
        for (const std::vector<uint8_t>* raw : images)
            for (int nType : kTypes)
                for (int nLayout : kLayouts)
                    ASSERT_EQ(Convert(*raw, w, h, nType, nLayout, lut),
                              ConvertWithBaselineKernels(*raw, w, h, nType, nLayout, lut))
                        << "type " << nType << " layout " << nLayout << " " << w << "x" << h
                        << (raw == &noise ? " noise" : " shading");
    }
}

} // namespace
