// The four 256-entry lookup tables every colour conversion passes its channels through. White balance and
// gamma are never applied to pixels directly: both are folded into the red, green and blue tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ocu {

using Lut = std::array<uint8_t, 256>;
// One block: red, green, blue (given to the Bayer conversion), then the gamma curve.
using LutBlock = std::array<Lut, 4>;

enum LutIndex { kLutRed = 0, kLutGreen = 1, kLutBlue = 2, kLutGamma = 3 };

// Every table the identity: entry i holds i.
LutBlock IdentityLuts();

// Rewrites the red, green and blue tables as the ratio times the base level (the level itself, or the
// gamma curve's entry when gamma is on), truncated and capped at 255. A ratio that is not positive
// (including a not-a-number) refuses the whole rebuild: returns 0 and leaves every table as it was.
int BuildChannelLuts(LutBlock& luts, bool gammaOn, double ratioR, double ratioG, double ratioB);

} // namespace ocu
