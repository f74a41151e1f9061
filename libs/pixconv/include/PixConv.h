/*
 * PixConv: the raw-image library. Bayer demosaicing and the sensor corrections that run before it.
 *
 * Images are packed rows with nothing between them. A raw image holds one 8-bit Bayer sample per pixel,
 * top row first, as the camera delivers it. An RGB image holds blue, green, red per pixel.
 * The functions write only into the buffers they are given and keep no state between calls.
 * Every function returns 1 when it did its work and 0 when it refused its arguments.
 */
#ifndef PIXCONV_H
#define PIXCONV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Conversion types. */
enum {
    PIX_CONVERT_FAST = 1,        /* Malvar-He-Cutler gradient-corrected interpolation, fixed point */
    PIX_CONVERT_NORMAL = 3,      /* Hamilton-Adams */
    PIX_CONVERT_EDGESENSING = 4, /* ratio-corrected demosaicing (RCD) */
    PIX_CONVERT_BEST = 6         /* directional LMMSE green, RCD-style red and blue */
};

/* Bayer layouts, named by the colours of the first two samples of the first and second rows. */
enum { PIX_BAYER_GBRG = 1, PIX_BAYER_GRBG = 2, PIX_BAYER_BGGR = 3, PIX_BAYER_RGGB = 4 };

/* The bad-pixel map as allocated: every byte PIX_PIXEL_GOOD. */
enum { PIX_PIXEL_GOOD = 0xFF };

/* Converts the nWidth x nHeight raw image to nWidth x nHeight x 3 bytes of blue, green, red, written
 * bottom-up (the first raw row becomes the last output row), each channel passed through its 256-byte
 * table. nWidth must be a positive multiple of 4 and nHeight a positive multiple of 2. Unknown types
 * fall back to PIX_CONVERT_FAST and unknown layouts to PIX_BAYER_GBRG. nFlags is reserved (pass 1). */
int ConvertBayer2Rgb(uint8_t* pDst, const uint8_t* pSrc, int nWidth, int nHeight, int nType,
                     const uint8_t* pLutR, const uint8_t* pLutG, const uint8_t* pLutB, int nFlags,
                     int nLayout);

/* Marks the bad pixels of a full-sensor frame taken with the lens covered. */
int DetectDeadPixel(const uint8_t* pSrc, uint8_t* pMap, int nFullWidth, int nFullHeight);
/* Replaces each marked pixel of an nWidth x nHeight region at (nLeft, nTop) of the sensor. */
int EraseDeadPixel(uint8_t* pRaw, const uint8_t* pMap, int nLeft, int nTop, int nWidth, int nHeight,
                   int nFullWidth, int nFullHeight);

/* Adds a full-sensor frame into the template (the caller clears it before the first frame). */
int GetPatternNoise(const uint8_t* pSrc, int32_t* pTemplate, int nFullWidth, int nFullHeight);
/* Turns the sum of nFrames frames into the per-pixel offsets that FixPatternNoise subtracts. */
int AvgPatternNoise(int32_t* pTemplate, int nFullWidth, int nFullHeight, int nFrames);
/* Subtracts the template from an nWidth x nHeight region at (nLeft, nTop) of the sensor. */
int FixPatternNoise(uint8_t* pRaw, const int32_t* pTemplate, int nLeft, int nTop, int nWidth, int nHeight,
                    int nFullWidth, int nFullHeight);

/* Ratios that make the neutral content of a blue-green-red image gray, green's ratio 1.0. */
int GetWhiteBalanceRatio(const uint8_t* pRgb, int nWidth, int nHeight, double* pdRatioR, double* pdRatioG,
                         double* pdRatioB);

/* Fills the 256 entries of a gamma table for a coefficient from 0.3 to 3; above 1 brightens. */
int SetGammaLut(uint8_t* pLut, double dGamma);

#ifdef __cplusplus
}
#endif

#endif /* PIXCONV_H */
