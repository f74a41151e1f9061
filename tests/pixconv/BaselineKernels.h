// The conversion kernels as built for baseline x86-64 alone (BaselineKernels.cpp).
#pragma once

#include "TestImages.h"

#include <cstdint>
#include <vector>

namespace pixtest {

// nType's kernel on the calling thread, every clone its baseline one; the image bottom-up, as
// ConvertBayer2Rgb writes it.
std::vector<uint8_t> ConvertWithBaselineKernels(const std::vector<uint8_t>& raw, int w, int h, int nType,
                                                int nLayout, const Lut& lut);

} // namespace pixtest
