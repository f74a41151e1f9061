#include "imaging/ChannelLuts.h"

namespace ocu {
namespace {

uint8_t Scaled(double ratio, int base) {
    // Truncate first, then cap: a product of 255.9 gives 255, a product above 255 gives 255. An endless
    // ratio (a settings file can hold one) times level 0 is not a number: black stays black.
    const double product = ratio * base;
    if (!(product > 0.0))
        return 0;
    if (product >= 255.0)
        return 255;
    return static_cast<uint8_t>(static_cast<int>(product));
}

} // namespace

LutBlock IdentityLuts() {
    LutBlock luts{};
    for (Lut& lut : luts) {
        for (int i = 0; i < 256; ++i)
            lut[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    return luts;
}

int BuildChannelLuts(LutBlock& luts, bool gammaOn, double ratioR, double ratioG, double ratioB) {
    if (!(ratioR > 0.0) || !(ratioG > 0.0) || !(ratioB > 0.0))
        return 0;
    for (size_t i = 0; i < 256; ++i) {
        const int base = gammaOn ? luts[kLutGamma][i] : static_cast<int>(i);
        luts[kLutRed][i] = Scaled(ratioR, base);
        luts[kLutGreen][i] = Scaled(ratioG, base);
        luts[kLutBlue][i] = Scaled(ratioB, base);
    }
    return 1;
}

} // namespace ocu
