#include "PixConv.h"

#include <cmath>

// A power curve on the normalised level: level' = level^(1/gamma). Any coefficient above 0 gives a
// table that keeps 0 and 255 and never decreases.
int SetGammaLut(uint8_t* pLut, double dGamma) {
    if (!pLut || !std::isfinite(dGamma) || dGamma <= 0)
        return 0;
    const double exponent = 1.0 / dGamma;
    for (int i = 0; i < 256; ++i)
        pLut[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, exponent)));
    return 1;
}
