/*
 * OcuUtil: the image utility library. JPEG files to and from the viewer's display layout.
 *
 * The display layout is that of a device-independent bitmap: rows bottom-up, each padded to a multiple
 * of 4 bytes; 24-bit pixels hold blue, green, red; 8-bit pixels hold a gray level (an index into the
 * caller's gray colour table). OCU_JPEG_BOTTOM_UP in nFlags selects it; without it the rows are stored
 * top-down, padded the same way.
 *
 * Every function returns 1 when it did its work and 0 when it did nothing; OcuUtilLastError then tells
 * why (per thread). A failed load writes nothing at all: neither a pixel nor one of the three sizes.
 */
#ifndef OCUUTIL_H
#define OCUUTIL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Row order of the caller's pixels. */
enum { OCU_JPEG_TOP_DOWN = 0, OCU_JPEG_BOTTOM_UP = 1 };

/* Why the last call on this thread did nothing. */
enum {
    OCU_UTIL_OK = 0,
    OCU_UTIL_ERR_ARGUMENT,       /* a null pointer, a size or flag out of range */
    OCU_UTIL_ERR_OPEN,           /* the file cannot be opened or read, or is no regular file */
    OCU_UTIL_ERR_CREATE,         /* the file cannot be created or written */
    OCU_UTIL_ERR_NOT_JPEG,       /* no JPEG image, or one damaged beyond decoding */
    OCU_UTIL_ERR_UNSUPPORTED,    /* 12-bit or 16-bit samples, lossless or hierarchical coding, CMYK */
    OCU_UTIL_ERR_TOO_MANY_SCANS, /* a progressive image of more scans than OCU_JPEG_MAX_SCANS */
    OCU_UTIL_ERR_TOO_LARGE,      /* the image does not fit the caller's buffer, or the file is too long */
    OCU_UTIL_ERR_RESOURCES,      /* out of memory */
    OCU_UTIL_ERR_ENCODE,         /* the encoder failed */
    OCU_UTIL_ERR_JPEG_LIMIT      /* wider or taller than a JPEG image can be (OCU_JPEG_MAX_SIDE) */
};

/* A remark on the last call on this thread that did its work. */
enum {
    OCU_UTIL_WARN_DAMAGED = 100 /* the JPEG data ends early or is damaged: the decoder filled in the rest */
};

/* The largest width and height a JPEG image has: libjpeg's limit, below the 65535 of the format. */
#define OCU_JPEG_MAX_SIDE 65500

/* Progressive images carry ten scans or so; hundreds only serve to make a decoder work for minutes. */
#define OCU_JPEG_MAX_SCANS 100

/* The bytes an image of nWidth x nHeight pixels at nBitCount (8 or 24) bits takes in the display layout;
 * 0 for sizes that are not positive or a bit count other than 8 and 24. */
size_t OcuDibBytes(int32_t nWidth, int32_t nHeight, int32_t nBitCount);

/* Reads the size of the JPEG image in pszPath and the bit count it loads with: 8 for a gray image, 24
 * for a colour one. Refuses what OcuLoadJPEG refuses before decoding (unsupported kinds, too many
 * scans), but not a size, which it does not know the limit of. */
int OcuReadJPEGHeader(const char* pszPath, int32_t* pnWidth, int32_t* pnHeight, uint16_t* pnBitCount);

/* Loads the JPEG image in pszPath into pPixels in the layout nFlags selects and stores its width, height
 * and bit count through the three pointers. nCapacity is the size of pPixels in bytes: an image whose
 * OcuDibBytes exceed it is refused before anything is decoded. The file is read once, so the size that
 * was checked is the size that is decoded. A damaged image whose decoder gets to its end (a file cut
 * short, for instance) loads with the decoder's filling for what is missing, and OcuUtilLastWarning
 * tells so. */
int OcuLoadJPEG(const char* pszPath, uint8_t* pPixels, size_t nCapacity, int32_t* pnWidth, int32_t* pnHeight,
                uint16_t* pnBitCount, int nFlags);

/* Encodes the nWidth x nHeight image at pPixels (nBitCount 8 or 24, in the layout nFlags selects) as a
 * baseline JPEG of the given quality (1..100), into memory: *ppJpeg receives the bytes, to be released
 * with OcuFreeJPEG, and *pnSize their count. Colour is stored without chroma subsampling, 8-bit images as
 * gray. Sides beyond OCU_JPEG_MAX_SIDE fail with OCU_UTIL_ERR_JPEG_LIMIT. */
int OcuEncodeJPEG(const uint8_t* pPixels, int32_t nWidth, int32_t nHeight, int32_t nBitCount, int nFlags,
                  int nQuality, uint8_t** ppJpeg, size_t* pnSize);
void OcuFreeJPEG(uint8_t* pJpeg);

/* OcuEncodeJPEG, then the file at pszPath is replaced as a whole: the old file stays as it was until the
 * new one is complete on the disk (a full disk or a kill never loses it). A pipe or a character device
 * is written into, never replaced; anything else that is not a regular file is refused, and so is a
 * folder that does not exist. */
int OcuSaveJPEG(const char* pszPath, const uint8_t* pPixels, int32_t nWidth, int32_t nHeight,
                int32_t nBitCount, int nFlags, int nQuality);

/* The largest JPEG stream OcuEncodeJPEGInto can make of an nWidth x nHeight image of nBitCount bits: a
 * buffer of this size always holds it. 0 for sizes OcuDibBytes refuses. */
size_t OcuJPEGBufferSize(int32_t nWidth, int32_t nHeight, int32_t nBitCount);

/* Encodes the image as OcuEncodeJPEG does, into the caller's buffer pOut of nCapacity bytes (at least
 * OcuJPEGBufferSize), and stores the stream's length through pnSize; no memory is allocated for the
 * stream, and no file is written. */
int OcuEncodeJPEGInto(const uint8_t* pPixels, int32_t nWidth, int32_t nHeight, int32_t nBitCount, int nFlags,
                      int nQuality, uint8_t* pOut, size_t nCapacity, size_t* pnSize);

/* The reason of the last call on this thread that did nothing (OCU_UTIL_OK after one that worked). */
int OcuUtilLastError(void);
/* After a call that worked: OCU_UTIL_WARN_DAMAGED when a load decoded a damaged or cut-short image,
 * OCU_UTIL_OK otherwise. */
int OcuUtilLastWarning(void);
/* A short English text for a reason or a remark, such as "the image does not fit the buffer". */
const char* OcuUtilErrorString(int nError);

#ifdef __cplusplus
}
#endif

#endif /* OCUUTIL_H */
