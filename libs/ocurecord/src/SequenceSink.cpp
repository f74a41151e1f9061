// Sequences: one file per frame, each written whole or not at all. Raw files and BMP files have the very
// layout of the viewer's Save As; JPEG files are encoded as Save As encodes them, at quality 100.
#include "OcuUtil.h"
#include "Sink.h"

#include <memory>
#include <vector>

namespace ocurecord::detail {
namespace {

constexpr int kJpegQuality = 100;

void PutLe16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

class SequenceSink final : public Sink {
public:
    SequenceSink(const Options& options, DiskWriter& disk) : m_target(options.target), m_disk(disk) {
        if (m_target.format == Format::Jpeg) {
            // Room for the largest stream, and for an 8-bit image taken through a colour table of colours.
            m_jpeg.resize(OcuJPEGBufferSize(options.maxWidth, options.maxHeight, 24));
            m_expanded.resize(DibRowBytes(options.maxWidth, 24) * static_cast<size_t>(options.maxHeight));
        }
    }

    bool Write(const SlotFrame& frame, uint64_t& bytes, std::string& error) override {
        const std::string name = FrameFileName(m_target, frame.index);
        uint64_t written = 0;
        bool ok = false;
        switch (m_target.format) {
        case Format::Raw:
            ok = WriteRaw(name, frame, written, error);
            break;
        case Format::Bmp:
            ok = WriteBmp(name, frame, written, error);
            break;
        default:
            ok = WriteJpeg(name, frame, written, error);
            break;
        }
        bytes += written;
        return ok;
    }

    bool Finish(uint64_t&, std::string&) override { return true; }

private:
    bool WriteRaw(const std::string& name, const SlotFrame& frame, uint64_t& bytes, std::string& error) {
        uint8_t head[8];
        PutLe32(head, static_cast<uint32_t>(frame.width));
        PutLe32(head + 4, static_cast<uint32_t>(frame.height));
        const iovec parts[] = {{head, sizeof head},
                               {const_cast<uint8_t*>(frame.pixels),
                                static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height)}};
        return m_disk.WriteWholeFile(name, parts, 2, bytes, error);
    }

    bool WriteBmp(const std::string& name, const SlotFrame& frame, uint64_t& bytes, std::string& error) {
        // The file header and the 40-byte header of a camera frame, then the colour table of 8-bit images.
        const uint32_t tableBytes = frame.bitCount == 8 ? 1024 : 0;
        const uint32_t offBits = 14 + 40 + tableBytes;
        const size_t pixelBytes =
            DibRowBytes(frame.width, frame.bitCount) * static_cast<size_t>(frame.height);
        uint8_t head[54] = {};
        PutLe16(head, 0x4D42);
        PutLe32(head + 2, offBits + static_cast<uint32_t>(pixelBytes));
        PutLe32(head + 10, offBits);
        PutLe32(head + 14, 40);
        PutLe32(head + 18, static_cast<uint32_t>(frame.width));
        PutLe32(head + 22, static_cast<uint32_t>(frame.height));
        PutLe16(head + 26, 1);
        PutLe16(head + 28, static_cast<uint32_t>(frame.bitCount));
        const uint8_t* table = frame.colourTable != nullptr ? frame.colourTable : GrayRamp();
        const iovec parts[] = {{head, sizeof head},
                               {const_cast<uint8_t*>(table), tableBytes},
                               {const_cast<uint8_t*>(frame.pixels), pixelBytes}};
        return m_disk.WriteWholeFile(name, parts, 3, bytes, error);
    }

    bool WriteJpeg(const std::string& name, const SlotFrame& frame, uint64_t& bytes, std::string& error) {
        const uint8_t* pixels = frame.pixels;
        int bitCount = frame.bitCount;
        if (bitCount == 8 && !IsGrayRamp(frame.colourTable)) {
            // As Save As does: an 8-bit image whose table is not the gray ramp in the colours it shows.
            ExpandThroughTable(pixels, frame.colourTable, frame.width, frame.height, m_expanded.data());
            pixels = m_expanded.data();
            bitCount = 24;
        }
        size_t size = 0;
        if (OcuEncodeJPEGInto(pixels, frame.width, frame.height, bitCount, OCU_JPEG_BOTTOM_UP, kJpegQuality,
                              m_jpeg.data(), m_jpeg.size(), &size) != 1) {
            error = std::string("JPEG: ") + OcuUtilErrorString(OcuUtilLastError());
            return false;
        }
        const iovec part{m_jpeg.data(), size};
        return m_disk.WriteWholeFile(name, &part, 1, bytes, error);
    }

    Target m_target;
    DiskWriter& m_disk;
    std::vector<uint8_t> m_jpeg;
    std::vector<uint8_t> m_expanded;
};

} // namespace

std::unique_ptr<Sink> MakeSequenceSink(const Options& options, DiskWriter& disk) {
    return std::make_unique<SequenceSink>(options, disk);
}

} // namespace ocurecord::detail
