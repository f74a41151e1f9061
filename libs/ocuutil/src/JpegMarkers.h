// A walk over a JPEG file's markers before the decoder sees it: what kind of image it is and how many
// scans it has, so that kinds the decoder cannot show, and files made to keep it busy, are refused cheaply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ocuutil {

struct JpegOutline {
    int frameMarker = -1; // the first SOFn marker's n (0 baseline, 1 extended, 2 progressive, ...), -1 none
    int precision = 0;    // bits per sample
    int components = 0;
    int scans = 0; // SOS markers, counted up to the walk's limit
};

enum class OutlineResult { Ok, NotJpeg, Unsupported, TooManyScans };

// Walks the markers of data (size bytes) up to the end of the image or of the data, counting at most
// maxScans scans. NotJpeg when it does not start like a JPEG file or has no frame header before its first
// scan; Unsupported for lossless or hierarchical frames, samples other than 8 bits and component counts
// other than 1 and 3.
OutlineResult OutlineJpeg(const uint8_t* data, size_t size, int maxScans, JpegOutline& outline);

} // namespace ocuutil
