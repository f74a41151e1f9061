// Videos through FFmpeg's libraries: FFV1 of the raw mosaic as 8-bit gray in Matroska, with the Bayer
// layout in the stream's tags; H.264 (libx264) of the display image in MP4 or Matroska. Each frame keeps
// its timestamp (the camera's, else the host's, from the first frame on) as its presentation time.
//
// The file is written through an I/O context of our own, so that every byte goes through the folder's
// reserve: a full disk gives the reserve up and the video is finished into the space it held.
#include "Sink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ocurecord::detail {
namespace {

constexpr int kIoBufferBytes = 1 << 20;
// A key frame every this many frames.
constexpr int kH264KeyInterval = 120;
constexpr char kH264Preset[] = "veryfast";
constexpr char kH264Crf[] = "18";

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

const char* LayoutName(int layout) {
    switch (layout) {
    case 1:
        return "GBRG";
    case 2:
        return "GRBG";
    case 3:
        return "BGGR";
    case 4:
        return "RGGB";
    default:
        return nullptr;
    }
}

struct FreeFormat {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct FreeCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeIo {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct FreeScaler {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

const AVCodec* EncoderFor(Format format) {
    return format == Format::Ffv1 ? avcodec_find_encoder(AV_CODEC_ID_FFV1)
                                  : avcodec_find_encoder_by_name("libx264");
}

class VideoSink final : public Sink {
public:
    VideoSink(const Options& options, DiskWriter& disk, const AVCodec* codec)
        : m_options(options), m_disk(disk), m_codec(codec), m_name(VideoFileName(options.target)) {}

    ~VideoSink() override {
        // Only reached without Finish after a failure: the context is freed with the file as it stands.
        m_format.reset();
    }

    bool Write(const SlotFrame& frame, uint64_t& bytes, std::string& error) override {
        if (!m_encoder && !Open(frame.width, frame.height, error))
            return false;
        if (!Fill(frame, error))
            return false;
        const uint64_t time = frame.cameraUs != 0 ? frame.cameraUs : frame.hostUs;
        if (!m_haveStart) {
            m_start = time;
            m_haveStart = true;
        }
        const int64_t since = time > m_start ? static_cast<int64_t>(time - m_start) : 0;
        // In the encoder's time base, which is the container's resolution: strictly increasing, so that two
        // frames closer than that resolution never share a timestamp.
        int64_t pts = av_rescale_q(since, AVRational{1, 1000000}, m_encoder->time_base);
        if (m_havePts && pts <= m_lastPts)
            pts = m_lastPts + 1;
        m_lastPts = pts;
        m_havePts = true;
        m_frame->pts = pts;
        const bool ok = Encode(m_frame.get(), error);
        bytes += TakeBytes();
        return ok;
    }

    bool Finish(uint64_t& bytes, std::string& error) override {
        if (!m_encoder)
            return true;
        bool ok = Encode(nullptr, error);
        if (const int s = av_write_trailer(m_format.get()); s < 0 && ok) {
            error = m_ioError.empty() ? AvError(s) : m_ioError;
            ok = false;
        }
        avio_flush(m_io.get());
        if (!m_ioError.empty() && ok) {
            error = m_ioError;
            ok = false;
        }
        if (::fdatasync(m_file.Get()) != 0 && ok) {
            error = ErrorText(errno);
            ok = false;
        }
        m_format.reset();
        m_io.reset();
        if (!m_file.Close() && ok) {
            error = ErrorText(errno);
            ok = false;
        }
        bytes += TakeBytes();
        return ok;
    }

    void RemoveEmpty() override {
        if (m_created)
            m_disk.Remove(m_name);
    }

private:
    bool Open(int width, int height, std::string& error) {
        const bool ffv1 = m_options.target.format == Format::Ffv1;
        const bool mp4 = !ffv1 && m_options.target.container == Container::Mp4;
        AVFormatContext* format = nullptr;
        if (avformat_alloc_output_context2(&format, nullptr, mp4 ? "mp4" : "matroska", nullptr) < 0 ||
            !format) {
            error = "FFmpeg has no muxer for this container";
            return false;
        }
        m_format.reset(format);

        m_file = m_disk.CreateFile(m_name, error);
        if (!m_file)
            return false;
        m_created = true;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        m_io.reset(buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr,
                                               &VideoSink::WritePacket, &VideoSink::Seek)
                          : nullptr);
        if (!m_io) {
            av_free(buffer);
            error = "out of memory";
            return false;
        }
        m_format->pb = m_io.get();
        m_format->flags |= AVFMT_FLAG_CUSTOM_IO;

        m_encoder.reset(avcodec_alloc_context3(m_codec));
        m_frame.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
        if (!m_encoder || !m_frame || !m_packet) {
            error = "out of memory";
            return false;
        }
        AVCodecContext& c = *m_encoder;
        c.width = width;
        c.height = height;
        c.sample_aspect_ratio = AVRational{1, 1};
        // Matroska counts in milliseconds; MP4 in the 90 kHz of video.
        c.time_base = mp4 ? AVRational{1, 90000} : AVRational{1, 1000};
        c.thread_count = 0;
        if (ffv1) {
            c.pix_fmt = AV_PIX_FMT_GRAY8;
            c.level = 3;    // slices, coded in parallel, each with its own check sum
            c.gop_size = 1; // every frame stands alone
            c.slices = 4;
            c.thread_type = FF_THREAD_SLICE;
            av_opt_set(c.priv_data, "slicecrc", "1", 0);
            // Golomb-Rice coding: more than twice as fast as the range coder, for a tenth more bytes.
            av_opt_set(c.priv_data, "coder", "rice", 0);
        } else {
            c.pix_fmt = AV_PIX_FMT_YUV420P; // what every player takes
            c.gop_size = kH264KeyInterval;
            c.profile = FF_PROFILE_H264_HIGH;
            c.color_range = AVCOL_RANGE_MPEG;
            c.colorspace = AVCOL_SPC_BT709;
            c.color_primaries = AVCOL_PRI_BT709;
            c.color_trc = AVCOL_TRC_BT709;
            av_opt_set(c.priv_data, "preset", kH264Preset, 0);
            av_opt_set(c.priv_data, "crf", kH264Crf, 0);
        }
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (const int s = avcodec_open2(&c, m_codec, nullptr); s < 0) {
            error = std::string("cannot open the ") + m_codec->name + " encoder: " + AvError(s);
            return false;
        }
        m_frame->format = c.pix_fmt;
        m_frame->width = width;
        m_frame->height = height;
        if (const int s = av_frame_get_buffer(m_frame.get(), 0); s < 0) {
            error = AvError(s);
            return false;
        }

        AVStream* stream = avformat_new_stream(m_format.get(), nullptr);
        if (!stream) {
            error = "out of memory";
            return false;
        }
        stream->time_base = c.time_base;
        avcodec_parameters_from_context(stream->codecpar, &c);
        if (ffv1) {
            // The mosaic as gray: what each sample is stays with the file.
            if (const char* layout = LayoutName(m_options.bayerLayout)) {
                av_dict_set(&stream->metadata, "BAYER_PATTERN", layout, 0);
                av_dict_set(
                    &m_format->metadata, "comment",
                    (std::string("8-bit Bayer mosaic, ") + layout + " layout, one sample per pixel").c_str(),
                    0);
            }
        }
        AVDictionary* muxing = nullptr;
        // Both muxers hold the frames of a fragment (MP4) or a cluster (Matroska) in memory until it ends;
        // a process that is killed or loses its power loses them. Ending one at least every second bounds
        // that loss to about a second, whatever the frame rate and the key interval.
        if (mp4) {
            // Fragments that stand on their own: the file plays up to the last one written, whatever
            // becomes of the process, and its end is small.
            av_dict_set(&muxing, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
            av_dict_set(&muxing, "frag_duration", "1000000", 0); // microseconds
            // And at most this many bytes, so that the one being written when the disk fills fits in the
            // reserve.
            av_dict_set(&muxing, "frag_size", "1048576", 0);
        } else {
            av_dict_set(&muxing, "cluster_time_limit", "1000", 0); // milliseconds
        }
        const int s = avformat_write_header(m_format.get(), &muxing);
        av_dict_free(&muxing);
        if (s < 0) {
            error = m_ioError.empty() ? AvError(s) : m_ioError;
            return false;
        }
        return true;
    }

    // The frame's pixels in the encoder's format.
    bool Fill(const SlotFrame& frame, std::string& error) {
        if (frame.width != m_encoder->width || frame.height != m_encoder->height) {
            error = "a frame of another size than the video's";
            return false;
        }
        if (const int s = av_frame_make_writable(m_frame.get()); s < 0) {
            error = AvError(s);
            return false;
        }
        const int w = frame.width;
        const int h = frame.height;
        if (!frame.display) {
            if (m_encoder->pix_fmt != AV_PIX_FMT_GRAY8) {
                error = "a raw mosaic for a video of display images";
                return false;
            }
            av_image_copy_plane(m_frame->data[0], m_frame->linesize[0], frame.pixels, w, w, h);
            return true;
        }
        const uint8_t* pixels = frame.pixels;
        int bitCount = frame.bitCount;
        if (bitCount == 8 && !IsGrayRamp(frame.colourTable)) {
            m_expanded.resize(DibRowBytes(w, 24) * static_cast<size_t>(h));
            ExpandThroughTable(pixels, frame.colourTable, w, h, m_expanded.data());
            pixels = m_expanded.data();
            bitCount = 24;
        }
        const AVPixelFormat source = bitCount == 8 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGR24;
        SwsContext* scaler = sws_getCachedContext(m_scaler.release(), w, h, source, w, h, m_encoder->pix_fmt,
                                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                                  nullptr, nullptr, nullptr);
        m_scaler.reset(scaler);
        if (!scaler) {
            error = "cannot convert the display image for the encoder";
            return false;
        }
        if (source != m_scaledFrom) {
            // Full-range RGB in, BT.709 with studio range out, as the stream says.
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
            m_scaledFrom = source;
        }
        // Bottom-up rows: start at the last and step backwards.
        const int stride = static_cast<int>(DibRowBytes(w, bitCount));
        const uint8_t* const rows[4] = {pixels + static_cast<size_t>(stride) * static_cast<size_t>(h - 1)};
        const int strides[4] = {-stride};
        sws_scale(scaler, rows, strides, 0, h, m_frame->data, m_frame->linesize);
        return true;
    }

    bool Encode(const AVFrame* frame, std::string& error) {
        int s = avcodec_send_frame(m_encoder.get(), frame);
        if (s < 0) {
            error = std::string("encoder: ") + AvError(s);
            return false;
        }
        AVStream* stream = m_format->streams[0];
        for (;;) {
            s = avcodec_receive_packet(m_encoder.get(), m_packet.get());
            if (s == AVERROR(EAGAIN) || s == AVERROR_EOF)
                return true;
            if (s < 0) {
                error = std::string("encoder: ") + AvError(s);
                return false;
            }
            av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, stream->time_base);
            m_packet->stream_index = 0;
            s = av_write_frame(m_format.get(), m_packet.get());
            av_packet_unref(m_packet.get());
            if (s < 0 || !m_ioError.empty()) {
                error = m_ioError.empty() ? AvError(s) : m_ioError;
                return false;
            }
        }
    }

    uint64_t TakeBytes() { return std::exchange(m_bytes, 0); }

    static int WritePacket(void* opaque, uint8_t* data, int size) {
        auto* self = static_cast<VideoSink*>(opaque);
        std::string error;
        if (!self->m_disk.WriteAll(self->m_file.Get(), data, static_cast<size_t>(size), error)) {
            if (self->m_ioError.empty())
                self->m_ioError = error;
            return AVERROR(EIO);
        }
        self->m_bytes += static_cast<uint64_t>(size);
        return size;
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<VideoSink*>(opaque);
        if (whence == AVSEEK_SIZE) {
            struct stat info {};
            return ::fstat(self->m_file.Get(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
        }
        const off_t at = ::lseek(self->m_file.Get(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
    }

    const Options m_options;
    DiskWriter& m_disk;
    const AVCodec* m_codec;
    const std::string m_name;
    Fd m_file;
    bool m_created = false;
    std::string m_ioError;
    uint64_t m_bytes = 0;
    // Freed in this order: the muxer, then its I/O context.
    std::unique_ptr<AVIOContext, FreeIo> m_io;
    std::unique_ptr<AVFormatContext, FreeFormat> m_format;
    std::unique_ptr<AVCodecContext, FreeCodec> m_encoder;
    std::unique_ptr<AVFrame, FreeFrame> m_frame;
    std::unique_ptr<AVPacket, FreePacket> m_packet;
    std::unique_ptr<SwsContext, FreeScaler> m_scaler;
    AVPixelFormat m_scaledFrom = AV_PIX_FMT_NONE;
    std::vector<uint8_t> m_expanded;
    uint64_t m_start = 0;
    bool m_haveStart = false;
    int64_t m_lastPts = 0;
    bool m_havePts = false;
};

} // namespace

std::unique_ptr<Sink> MakeVideoSink(const Options& options, DiskWriter& disk, std::string& error) {
    // FFmpeg's notes on every encoder opened would fill the terminal; its errors are still shown.
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        if (av_log_get_level() > AV_LOG_ERROR)
            av_log_set_level(AV_LOG_ERROR);
    });
    const AVCodec* codec = EncoderFor(options.target.format);
    if (!codec) {
        error = options.target.format == Format::Ffv1
                    ? "This build of FFmpeg has no FFV1 encoder."
                    : "This build of FFmpeg has no H.264 encoder (libx264).";
        return nullptr;
    }
    return std::make_unique<VideoSink>(options, disk, codec);
}

} // namespace ocurecord::detail
