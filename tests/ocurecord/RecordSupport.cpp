#include "RecordSupport.h"

#include "PixConv.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace ocurecord::test {

namespace {

// The feed the driver's callbacks reach; a callback of a closed capture finds none.
std::mutex g_feedMutex;
Feed* g_feed = nullptr;

} // namespace

Feed::Feed(int width, int height) : m_width(width), m_height(height) {
    if (BeginOcuDevice(OCU_FIRST_DEVICE, &m_camera) != OCU_OK) {
        m_camera = nullptr;
        return;
    }
    if (OcuSetOutputWindow(m_camera, 0, 0, width, height) != OCU_OK) {
        EndOcuDevice(m_camera);
        m_camera = nullptr;
        return;
    }
    m_buffer.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
}

Feed::~Feed() {
    if (m_camera != nullptr)
        EndOcuDevice(m_camera);
}

int32_t Feed::OnFrame(SnapInfo* info) {
    const std::lock_guard lock(g_feedMutex);
    Feed* feed = g_feed;
    if (feed == nullptr || info->pContext != feed)
        return 1;
    Frame frame;
    frame.pixels = feed->m_buffer.data();
    frame.width = info->nWidth;
    frame.height = info->nHeight;
    frame.cameraTimeUs = info->nTimestampUs;
    frame.hostTimeUs = MonotonicMicroseconds();
    const uint64_t index = feed->m_next;
    const Submitted result = feed->m_recorder->Submit(frame);
    if (result != Submitted::Refused)
        ++feed->m_next;
    if (result == Submitted::Taken)
        feed->m_taken[index] = Delivered{feed->m_buffer, frame.cameraTimeUs, frame.hostTimeUs};
    return 1;
}

bool Feed::RecordInto(Recorder& recorder) {
    m_recorder = &recorder;
    {
        const std::lock_guard lock(g_feedMutex);
        g_feed = this;
    }
    uint8_t* const buffers[] = {m_buffer.data()};
    bool ok = OcuOpenSnap(m_camera, &Feed::OnFrame, this) == OCU_OK;
    ok = ok && OcuStartSnap(m_camera, buffers, 1) == OCU_OK;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ok && recorder.GetProgress().state == State::Recording &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    OcuCloseSnap(m_camera);
    {
        const std::lock_guard lock(g_feedMutex);
        g_feed = nullptr;
    }
    recorder.Stop();
    recorder.Wait();
    return ok;
}

std::map<uint64_t, std::vector<uint8_t>> SubmitNoise(Recorder& recorder, int width, int height) {
    std::map<uint64_t, std::vector<uint8_t>> taken;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint64_t state = 0x9E3779B97F4A7C15u;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (uint64_t index = 0; std::chrono::steady_clock::now() < deadline; ++index) {
        for (uint8_t& p : pixels) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            p = static_cast<uint8_t>(state >> 24);
        }
        Frame frame;
        frame.pixels = pixels.data();
        frame.width = width;
        frame.height = height;
        frame.hostTimeUs = MonotonicMicroseconds();
        const Submitted result = recorder.Submit(frame);
        if (result == Submitted::Refused)
            break;
        if (result == Submitted::Taken)
            taken[index] = pixels;
    }
    recorder.Stop();
    recorder.Wait();
    return taken;
}

Options RecordOptions(const std::string& folder, const std::string& stem, Format format, int width,
                      int height, Container container) {
    Options options;
    options.target = Target{folder, stem, format, container};
    options.maxWidth = width;
    options.maxHeight = height;
    options.bayerLayout = kGrbg;
    options.developRaw = !RecordsRawMosaic(format);
    options.develop.bayerLayout = kGrbg;
    return options;
}

std::optional<std::vector<LogRow>> ReadLog(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || line != "frame,camera_time_us,host_time_us,width,height") {
        ADD_FAILURE() << path << ": header '" << line << "'";
        return std::nullopt;
    }
    std::vector<LogRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            fields.push_back(cell);
        if (fields.size() != 5 || fields[0].empty() || fields[2].empty()) {
            ADD_FAILURE() << path << ": row '" << line << "'";
            return std::nullopt;
        }
        LogRow row;
        row.frame = std::stoull(fields[0]);
        if (!fields[1].empty())
            row.cameraUs = std::stoull(fields[1]);
        row.hostUs = std::stoull(fields[2]);
        row.width = std::stoi(fields[3]);
        row.height = std::stoi(fields[4]);
        rows.push_back(row);
    }
    return rows;
}

std::optional<DecodedVideo> DecodeVideo(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << path << ": FFmpeg cannot open it";
        return std::nullopt;
    }
    struct Cleanup {
        AVFormatContext*& format;
        AVCodecContext* decoder = nullptr;
        SwsContext* scaler = nullptr;
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        ~Cleanup() {
            av_packet_free(&packet);
            av_frame_free(&frame);
            sws_freeContext(scaler);
            avcodec_free_context(&decoder);
            avformat_close_input(&format);
        }
    } c{format};
    if (avformat_find_stream_info(format, nullptr) < 0 || format->nb_streams != 1) {
        ADD_FAILURE() << path << ": no single stream";
        return std::nullopt;
    }
    AVStream* stream = format->streams[0];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    c.decoder = avcodec_alloc_context3(codec);
    if (!codec || avcodec_parameters_to_context(c.decoder, stream->codecpar) < 0 ||
        avcodec_open2(c.decoder, codec, nullptr) < 0) {
        ADD_FAILURE() << path << ": no decoder";
        return std::nullopt;
    }
    DecodedVideo video;
    video.codec = codec->name;
    video.width = c.decoder->width;
    video.height = c.decoder->height;
    for (const AVDictionaryEntry* tag = nullptr;
         (tag = av_dict_get(stream->metadata, "", tag, AV_DICT_IGNORE_SUFFIX));)
        video.streamTags[tag->key] = tag->value;
    const bool gray = c.decoder->pix_fmt == AV_PIX_FMT_GRAY8;
    const int bytes = gray ? 1 : 3;
    int64_t first = AV_NOPTS_VALUE;
    const auto take = [&]() -> bool {
        while (avcodec_receive_frame(c.decoder, c.frame) == 0) {
            video.pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(c.frame->format));
            std::vector<uint8_t> out(static_cast<size_t>(video.width) * video.height * bytes);
            if (gray) {
                av_image_copy_plane(out.data(), video.width, c.frame->data[0], c.frame->linesize[0],
                                    video.width, video.height);
            } else {
                c.scaler = sws_getCachedContext(
                    c.scaler, video.width, video.height, static_cast<AVPixelFormat>(c.frame->format),
                    video.width, video.height, AV_PIX_FMT_BGR24,
                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
                const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
                sws_setColorspaceDetails(c.scaler, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
                uint8_t* dst[4] = {out.data()};
                const int dstStride[4] = {video.width * 3};
                sws_scale(c.scaler, c.frame->data, c.frame->linesize, 0, video.height, dst, dstStride);
            }
            const int64_t pts = c.frame->best_effort_timestamp;
            if (first == AV_NOPTS_VALUE)
                first = pts;
            video.timesUs.push_back(av_rescale_q(pts - first, stream->time_base, AVRational{1, 1000000}));
            video.frames.push_back(std::move(out));
            av_frame_unref(c.frame);
        }
        return true;
    };
    while (av_read_frame(format, c.packet) >= 0) {
        if (avcodec_send_packet(c.decoder, c.packet) < 0) {
            ADD_FAILURE() << path << ": a packet the decoder refuses";
            return std::nullopt;
        }
        av_packet_unref(c.packet);
        take();
    }
    avcodec_send_packet(c.decoder, nullptr);
    take();
    return video;
}

std::vector<uint8_t> FlipRows(const uint8_t* rows, int width, int height, int bytesPerPixel) {
    const size_t row = static_cast<size_t>(width) * bytesPerPixel;
    std::vector<uint8_t> out(row * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(rows + (height - 1 - y) * row, row, out.data() + y * row);
    return out;
}

std::vector<uint8_t> DevelopTopDown(const std::vector<uint8_t>& raw, int width, int height) {
    std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 3);
    const ChannelTables luts = IdentityTables();
    ConvertBayer2Rgb(bottomUp.data(), raw.data(), width, height, PIX_CONVERT_FAST, luts[0].data(),
                     luts[1].data(), luts[2].data(), 1, PIX_BAYER_GRBG);
    return FlipRows(bottomUp.data(), width, height, 3);
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sum);
}

std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace ocurecord::test
