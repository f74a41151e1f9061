#include "TimestampLog.h"

#include "OcuRecord.h"

#include <charconv>
#include <unistd.h>

namespace ocurecord::detail {
namespace {

constexpr char kHeader[] = "frame,camera_time_us,host_time_us,width,height\n";
// The longest row: three 20-digit numbers, two 11-character ones, their commas and the line's end.
constexpr size_t kMaxRow = 3 * 20 + 2 * 11 + 5;
constexpr uint64_t kFlushIntervalUs = 1000000;

} // namespace

bool TimestampLog::Create(DiskWriter& disk, const std::string& name, std::string& error) {
    m_disk = &disk;
    m_file = disk.CreateFile(name, error);
    if (!m_file)
        return false;
    m_used = 0;
    m_lastFlushUs = MonotonicMicroseconds();
    return disk.WriteAll(m_file.Get(), kHeader, sizeof kHeader - 1, error);
}

bool TimestampLog::Add(uint64_t frame, uint64_t cameraUs, uint64_t hostUs, int width, int height,
                       std::string& error) {
    if (m_pending.size() - m_used < kMaxRow && !Flush(error))
        return false;
    char* out = m_pending.data() + m_used;
    char* const end = m_pending.data() + m_pending.size();
    const auto put = [&](auto value) { out = std::to_chars(out, end, value).ptr; };
    put(frame);
    *out++ = ',';
    if (cameraUs != 0)
        put(cameraUs);
    *out++ = ',';
    put(hostUs);
    *out++ = ',';
    put(width);
    *out++ = ',';
    put(height);
    *out++ = '\n';
    m_used = static_cast<size_t>(out - m_pending.data());
    if (MonotonicMicroseconds() - m_lastFlushUs >= kFlushIntervalUs)
        return Flush(error);
    return true;
}

bool TimestampLog::Flush(std::string& error) {
    m_lastFlushUs = MonotonicMicroseconds();
    if (m_used == 0)
        return true;
    const size_t used = m_used;
    m_used = 0;
    return m_disk->WriteAll(m_file.Get(), m_pending.data(), used, error);
}

bool TimestampLog::Close(std::string& error) {
    if (!m_file)
        return true;
    bool ok = Flush(error);
    if (ok && ::fdatasync(m_file.Get()) != 0) {
        error = ErrorText(errno);
        ok = false;
    }
    if (!m_file.Close() && ok) {
        error = ErrorText(errno);
        ok = false;
    }
    return ok;
}

} // namespace ocurecord::detail
