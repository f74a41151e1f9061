// The conversion entry point: argument checks, the choice of kernel, and the fallbacks.
#include "Demosaic.h"
#include "PixConv.h"

#include <new>

using namespace pixconv;

int ConvertBayer2Rgb(uint8_t* pDst, const uint8_t* pSrc, int nWidth, int nHeight, int nType,
                     const uint8_t* pLutR, const uint8_t* pLutG, const uint8_t* pLutB, int /*nFlags*/,
                     int nLayout) {
    if (!pDst || !pSrc || !pLutR || !pLutG || !pLutB)
        return 0;
    // Every kernel works on whole 2 x 2 Bayer cells; an odd size has a half cell it cannot place.
    if (nWidth < 2 || nHeight < 2 || nWidth % 2 != 0 || nHeight % 2 != 0)
        return 0;
    const RawImage raw{pSrc, nWidth, nHeight, BayerPattern::FromLayout(nLayout)};
    const PackedLut lut(pLutR, pLutG, pLutB);
    WorkerPool* const pool = SharedPool();
    try {
        switch (nType) {
        case PIX_CONVERT_NORMAL:
            ConvertHamiltonAdams(raw, pDst, lut, pool);
            return 1;
        case PIX_CONVERT_EDGESENSING:
            ConvertRcd(raw, pDst, lut, pool);
            return 1;
        case PIX_CONVERT_BEST:
            ConvertLmmse(raw, pDst, lut, pool);
            return 1;
        default:
            break;
        }
    } catch (const std::bad_alloc&) {
        // The slower types need a few megabytes of planes per thread; without them the picture still
        // comes, fast.
    }
    ConvertFast(BestFastPath(), raw, pDst, lut, pool);
    return 1;
}
