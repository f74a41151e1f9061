// The window-free frame pipeline on frames whose rows do not end on whole words (from raw files).
#include "imaging/FramePipeline.h"

#include "PixConv.h"
#include "display/Bitmap.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;

TEST(FramePipeline, EveryEvenWidthLeavesTheImageInTheLayoutTheHeaderDescribes) {
    for (const int width : {2, 6, 62, 64}) {
        for (const int mode : {0, 1}) {
            SCOPED_TRACE(std::to_string(width) + (mode == 0 ? " colour" : " gray"));
            const int height = 6;
            std::vector<uint8_t> raw(static_cast<size_t>(width * height));
            for (size_t i = 0; i < raw.size(); ++i)
                raw[i] = static_cast<uint8_t>(i * 37 + 11);
            const std::vector<uint8_t> original = raw;
            std::vector<uint8_t> image(DibRowBytes(width, 24) * height, 0xEE);
            BitmapInfo info{};
            InitBitmapInfo(info);
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = height;
            const LutBlock luts = IdentityLuts();
            RunUncorrectedPipeline(raw.data(), image.data(), info.bmiHeader, luts, kConversionFast, 2,
                                   mode == 1);
            ASSERT_TRUE(PipelineAcceptsSize(width, height));
            EXPECT_EQ(info.bmiHeader.biBitCount, mode == 0 ? 24 : 8);

            // Row by row what the conversion gives packed, each row on whole words as the header says.
            std::vector<uint8_t> packed(static_cast<size_t>(width * height * 3));
            ConvertBayer2Rgb(packed.data(), original.data(), width, height, kConversionFast, luts[0].data(),
                             luts[1].data(), luts[2].data(), 1, 2);
            const int bytesPerPixel = mode == 0 ? 3 : 1;
            const size_t stride = DibRowBytes(width, bytesPerPixel * 8);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const uint8_t* bgr = packed.data() + (y * width + x) * 3;
                    const uint8_t* shown = image.data() + y * stride + x * bytesPerPixel;
                    if (mode == 0)
                        EXPECT_EQ(std::memcmp(shown, bgr, 3), 0) << x << "," << y;
                    else
                        EXPECT_EQ(shown[0],
                                  static_cast<uint8_t>(bgr[2] * 0.299 + bgr[1] * 0.587 + bgr[0] * 0.114))
                            << x << "," << y;
                }
            }
        }
    }
    EXPECT_FALSE(PipelineAcceptsSize(63, 4));
    EXPECT_FALSE(PipelineAcceptsSize(62, 3));
    EXPECT_FALSE(PipelineAcceptsSize(0, 2));
}
