/*
 * PixConv: the raw-image library. Bayer demosaicing and the sensor corrections that run before it.
 *
 * Images are packed rows with nothing between them. A raw image holds one 8-bit Bayer sample per pixel,
 * top row first, as the camera delivers it. An RGB image holds blue, green, red per pixel.
 * The functions write only into the buffers they are given. Between calls the library keeps only the
 * worker threads of its conversions and their working memory.
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

/* The bad-pixel map: one byte per sensor pixel. As allocated every byte is PIX_PIXEL_GOOD; any other
 * value marks a pixel that EraseDeadPixel replaces. DetectDeadPixel writes these marks. */
enum { PIX_PIXEL_GOOD = 0xFF, PIX_PIXEL_HOT = 0, PIX_PIXEL_DEAD = 1 };

/* The pattern-noise template: one int32_t per sensor pixel. While frames are being added it holds
 * their sums. After AvgPatternNoise each entry is PIX_TEMPLATE_ZERO plus the pixel's offset from the
 * mean of its Bayer channel in sixteenths of a level. FixPatternNoise leaves pixels whose entry is not
 * of that form untouched, so a cleared template, or one still collecting frames, corrects nothing. */
enum { PIX_TEMPLATE_ZERO = 0x40000000 };

/* Converts the nWidth x nHeight raw image to nWidth x nHeight x 3 bytes of blue, green, red, written
 * bottom-up (the first raw row becomes the last output row), each channel passed through its 256-byte
 * table. nWidth and nHeight must be even and at least 2 (odd sizes are refused). Border pixels see
 * their neighbours mirrored about the edge. Unknown types fall back to PIX_CONVERT_FAST and unknown
 * layouts to PIX_BAYER_GBRG. nFlags is reserved: pass 1; its value is ignored.
 * The slower types share their tiles out over the library's worker threads, started on the first
 * call and kept (as many as the process has cores, or PIXCONV_THREADS from 1 to 64); Fast does so
 * for large frames. The call returns when the image is written, and the result does not depend on the
 * number of threads. A second thread calling meanwhile waits. Nothing is allocated per frame once the
 * threads' working memory (a few megabytes each) is there; should it not be had, the image is
 * converted with PIX_CONVERT_FAST instead. Nothing outside the nWidth x nHeight x 3 bytes is written. */
int ConvertBayer2Rgb(uint8_t* pDst, const uint8_t* pSrc, int nWidth, int nHeight, int nType,
                     const uint8_t* pLutR, const uint8_t* pLutG, const uint8_t* pLutB, int nFlags,
                     int nLayout);

/* Marks the bad pixels of a full-sensor frame taken with the lens covered (or of a uniformly lit
 * surface), overwriting the whole map; allocates nothing. Hot: more than T above the frame's dark level
 * (its median) and above the median of its eight same-colour neighbours two pixels away, which clusters
 * of up to 4 x 4 pixels, runs and bad lines do not fill. Dead: as far below both, which a dark frame
 * shows only when its dark level lies above T. T is eight times the frame's noise, at least 16 levels.
 * Whole columns and rows whose median offset from the same-colour lines on both sides exceeds T / 2
 * (and the spread of all lines' offsets) are marked too. */
int DetectDeadPixel(const uint8_t* pSrc, uint8_t* pMap, int nFullWidth, int nFullHeight);
/* Replaces each marked pixel of an nWidth x nHeight region at (nLeft, nTop) of the sensor from the
 * nearest good same-colour pixels inside the region, also where its neighbours are marked too (clusters,
 * bad lines). Pixel (x, y) uses map entry (nLeft + x, nTop + y); a region that does not lie inside the
 * sensor is refused. */
int EraseDeadPixel(uint8_t* pRaw, const uint8_t* pMap, int nLeft, int nTop, int nWidth, int nHeight,
                   int nFullWidth, int nFullHeight);

/* Adds a full-sensor frame into the template (the caller clears it before the first frame). */
int GetPatternNoise(const uint8_t* pSrc, int32_t* pTemplate, int nFullWidth, int nFullHeight);
/* Turns the sum of nFrames frames into the per-pixel offsets that FixPatternNoise subtracts. A template
 * that is no such sum (an entry outside 0..255 x nFrames, for example one averaged already) is refused
 * and left as it is. */
int AvgPatternNoise(int32_t* pTemplate, int nFullWidth, int nFullHeight, int nFrames);
/* Subtracts the template from an nWidth x nHeight region at (nLeft, nTop) of the sensor, clamped to
 * 0..255; positioned like EraseDeadPixel. Saturated samples (255) stay as they are. */
int FixPatternNoise(uint8_t* pRaw, const int32_t* pTemplate, int nLeft, int nTop, int nWidth, int nHeight,
                    int nFullWidth, int nFullHeight);

/* Ratios that make the neutral content of a blue-green-red image gray, green's ratio 1.0, each within
 * 1/16..16. Saturated and near-black pixels are ignored; an image with nothing usable gives 1.0 each. */
int GetWhiteBalanceRatio(const uint8_t* pRgb, int nWidth, int nHeight, double* pdRatioR, double* pdRatioG,
                         double* pdRatioB);

/* Fills the 256 entries of a gamma table: entry i = 255 (i / 255)^(1 / dGamma), rounded. Coefficients
 * above 1 brighten the mid-tones; 0 and 255 stay fixed and the table never decreases. The viewer passes
 * 0.3 to 3; any positive finite coefficient is accepted. */
int SetGammaLut(uint8_t* pLut, double dGamma);

/* --- Statistics for the exposure and focus aids ---------------------------------------------------- */

/* The four Bayer channels, in the order of the camera's gains: red, green on red rows, green on blue
 * rows, blue. */
enum { PIX_CHANNEL_R = 0, PIX_CHANNEL_GR = 1, PIX_CHANNEL_GB = 2, PIX_CHANNEL_B = 3 };

/* Counts the samples of an nWidth x nHeight raw image by level, per Bayer channel: pHistograms receives
 * 4 x 256 counts, those of channel PIX_CHANNEL_* from pHistograms + 256 * channel. The layout is that of
 * the image's first sample, as for ConvertBayer2Rgb (unknown layouts are GBRG). Any size from 1 x 1. */
int GetRawHistograms(const uint8_t* pRaw, int nWidth, int nHeight, int nLayout, uint32_t* pHistograms);

/* Counts the pixels of an image by brightness into 256 counts. nBitCount 24: blue, green, red, whose
 * brightness is the luma (77 R + 150 G + 29 B) / 256, truncated, so that a gray keeps its level;
 * nBitCount 8: the byte itself. Rows lie nStride bytes apart (at least the row's bytes). */
int GetBrightnessHistogram(const uint8_t* pImage, int nWidth, int nHeight, int nStride, int nBitCount,
                           uint32_t* pHistogram);

/* The mean level of a 256-count histogram and the shares (0 to 1) of its counts at level 0 and at 255;
 * an empty histogram gives 0 for all three. */
int GetHistogramStats(const uint32_t* pHistogram, double* pdMean, double* pdShareAt0, double* pdShareAt255);

/* How sharp the nRectWidth x nRectHeight rectangle at (nLeft, nTop) of a raw image is: the mean, over its
 * green samples, of the squared differences to the green samples two pixels to the right and two pixels
 * below (those of the same green channel), counting the samples whose two neighbours lie inside the
 * rectangle. Levels squared; a uniform field gives 0, and it grows with fine detail and falls with blur.
 * The layout is that of the image's first sample. The rectangle must lie inside the image and be at least
 * 4 x 4 pixels. */
int GetSharpness(const uint8_t* pRaw, int nWidth, int nHeight, int nLeft, int nTop, int nRectWidth,
                 int nRectHeight, int nLayout, double* pdSharpness);

#ifdef __cplusplus
}
#endif

#endif /* PIXCONV_H */
