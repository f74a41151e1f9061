#include "JpegMarkers.h"

namespace ocuutil {
namespace {

constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;

bool IsFrameMarker(uint8_t m) {
    // C4 (DHT), C8 (JPG) and CC (DAC) share the range but are no frames.
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Markers without a length: TEM, RST0..7, SOI, EOI.
bool IsStandalone(uint8_t m) {
    return m == 0x01 || (m >= 0xD0 && m <= kEoi);
}

// The frame kinds the decoder turns into the display layout: baseline, extended and progressive, with
// Huffman or arithmetic coding. Lossless (3, 11) and hierarchical (5-7, 13-15) frames are not among them.
bool IsShownFrame(int n) {
    return n == 0 || n == 1 || n == 2 || n == 9 || n == 10;
}

} // namespace

OutlineResult OutlineJpeg(const uint8_t* data, size_t size, int maxScans, JpegOutline& outline) {
    outline = JpegOutline{};
    if (size < 4 || data[0] != 0xFF || data[1] != kSoi)
        return OutlineResult::NotJpeg;
    size_t pos = 2;
    while (pos + 1 < size) {
        if (data[pos] != 0xFF) {
            ++pos; // junk between segments: the decoder skips it with a warning
            continue;
        }
        const uint8_t marker = data[pos + 1];
        if (marker == 0xFF || marker == 0x00) {
            ++pos;
            continue;
        }
        pos += 2;
        if (marker == kEoi)
            break;
        if (IsStandalone(marker))
            continue;
        if (pos + 2 > size)
            break;
        const size_t length = (size_t{data[pos]} << 8) | data[pos + 1];
        if (length < 2)
            return OutlineResult::NotJpeg;
        const uint8_t* segment = data + pos + 2;
        const size_t available = size - pos - 2;
        if (IsFrameMarker(marker) && outline.frameMarker < 0) {
            if (available < 6)
                return OutlineResult::NotJpeg;
            outline.frameMarker = marker - 0xC0;
            outline.precision = segment[0];
            outline.components = segment[5];
            if (!IsShownFrame(outline.frameMarker) || outline.precision != 8 ||
                (outline.components != 1 && outline.components != 3))
                return OutlineResult::Unsupported;
        }
        pos += length;
        if (marker != kSos)
            continue;
        if (outline.frameMarker < 0)
            return OutlineResult::NotJpeg;
        if (++outline.scans > maxScans)
            return OutlineResult::TooManyScans;
        // The entropy-coded data runs to the next marker: 0xFF followed by neither a stuffed zero, a
        // restart marker nor another 0xFF.
        while (pos + 1 < size) {
            const uint8_t next = data[pos + 1];
            if (data[pos] == 0xFF && next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7))
                break;
            ++pos;
        }
    }
    return outline.frameMarker < 0 ? OutlineResult::NotJpeg : OutlineResult::Ok;
}

} // namespace ocuutil
