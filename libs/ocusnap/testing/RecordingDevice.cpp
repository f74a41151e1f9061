#include "RecordingDevice.h"

#include <cstring>
#include <string>

namespace ocusnap::testing {

namespace detail_recording {

using detail::Capabilities;

Script::Script() {
    caps.deviceType = 2;
    caps.resolutions = {{1280, 1024}, {640, 480}, {320, 240}};
    caps.blankingLimits = BlankingLimits{-20, -10, 4095, 2047};
    caps.hasSnapSpeed = true;
}

void Script::Record(std::string function, std::vector<int64_t> args, std::string text) {
    std::lock_guard lock(mutex);
    calls.push_back({std::move(function), std::move(args), std::move(text)});
}

OCUSTATUS Script::ScriptedStatus(std::string_view function) const {
    std::lock_guard lock(mutex);
    const auto it = statuses.find(function);
    return it == statuses.end() ? OCU_OK : it->second;
}

namespace {

int64_t Address(const void* p) {
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p));
}

std::string Ptr(const void* p, const char* name) {
    return p ? name : "null";
}

const uint8_t* FirstBuffer(uint8_t* const* buffers) {
    return buffers ? buffers[0] : nullptr;
}

void FillWindow(const detail::Registers& registers, uint8_t value, uint8_t* destination) {
    const size_t bytes =
        static_cast<size_t>(registers.window.width) * static_cast<size_t>(registers.window.height);
    std::memset(destination, value, bytes);
}

class RecordedStream final : public detail::FrameStream {
public:
    explicit RecordedStream(std::shared_ptr<const detail::RegisterFile> registers)
        : m_registers(std::move(registers)) {}
    detail::StreamFrame Next(uint8_t* scratch, bool, uint64_t request) override {
        const detail::Registers regs = m_registers->Read();
        FillWindow(regs, static_cast<uint8_t>(request), scratch);
        return {regs.window.width, regs.window.height, std::nullopt};
    }
    bool OnDemand() const override { return true; }

private:
    std::shared_ptr<const detail::RegisterFile> m_registers;
};

} // namespace

std::unique_ptr<detail::FrameStream>
RecordedSensor::OpenStream(std::shared_ptr<const detail::RegisterFile> registers) {
    return std::make_unique<RecordedStream>(std::move(registers));
}

OCUSTATUS RecordedSensor::Snap(const detail::Registers& registers, uint8_t* destination) {
    FillWindow(registers, 0x80, destination);
    return OCU_OK;
}

OCUSTATUS RecordingDevice::Note(const char* function, std::vector<int64_t> args, std::string argText) {
    m_state->Record(function, std::move(args), std::string(function) + "(" + argText + ")");
    return m_state->ScriptedStatus(function);
}

OCUSTATUS RecordingDevice::GetDeviceInfo(int32_t infoCode, void* buffer, uint32_t* size) {
    const int64_t sizeIn = size ? int64_t{*size} : -1;
    const std::string sizeText = size ? std::to_string(*size) : "null";
    if (const OCUSTATUS s = Note("OcuGetDeviceInfo", {infoCode, Address(buffer), sizeIn},
                                 std::to_string(infoCode) + ", " + Ptr(buffer, "buf") + ", " + sizeText);
        s != OCU_OK) {
        return s;
    }
    Capabilities caps;
    {
        std::lock_guard lock(m_state->mutex);
        if (const auto it = m_state->infoFailures.find(infoCode); it != m_state->infoFailures.end()) {
            return it->second;
        }
        caps = m_state->caps;
    }
    return detail::AnswerDeviceInfo(caps, infoCode, buffer, size);
}

OCUSTATUS RecordingDevice::SetResolution(int32_t mode) {
    if (const OCUSTATUS s = Note("OcuSetResolution", {mode}, std::to_string(mode)); s != OCU_OK) {
        return s;
    }
    return m_inner->SetResolution(mode);
}

OCUSTATUS RecordingDevice::SetSnapMode(int32_t mode) {
    if (const OCUSTATUS s = Note("OcuSetSnapMode", {mode}, std::to_string(mode)); s != OCU_OK) {
        return s;
    }
    return m_inner->SetSnapMode(mode);
}

OCUSTATUS RecordingDevice::SetSnapSpeed(int32_t speed) {
    if (const OCUSTATUS s = Note("OcuSetSnapSpeed", {speed}, std::to_string(speed)); s != OCU_OK) {
        return s;
    }
    return m_inner->SetSnapSpeed(speed);
}

OCUSTATUS RecordingDevice::SetBlanking(int32_t horizontal, int32_t vertical) {
    if (const OCUSTATUS s = Note("OcuSetBlanking", {horizontal, vertical},
                                 std::to_string(horizontal) + ", " + std::to_string(vertical));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SetBlanking(horizontal, vertical);
}

OCUSTATUS RecordingDevice::SetOutputWindow(int32_t left, int32_t top, int32_t width, int32_t height) {
    if (const OCUSTATUS s = Note("OcuSetOutputWindow", {left, top, width, height},
                                 std::to_string(left) + ", " + std::to_string(top) + ", " +
                                     std::to_string(width) + ", " + std::to_string(height));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SetOutputWindow(left, top, width, height);
}

OCUSTATUS RecordingDevice::SetGain(uint8_t channel, int32_t gain) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", channel);
    if (const OCUSTATUS s =
            Note("OcuAGCControl", {channel, gain}, std::string(code) + ", " + std::to_string(gain));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SetGain(channel, gain);
}

OCUSTATUS RecordingDevice::SetAdc(int32_t mode, int32_t level) {
    if (const OCUSTATUS s =
            Note("OcuADCControl", {mode, level}, std::to_string(mode) + ", " + std::to_string(level));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SetAdc(mode, level);
}

OCUSTATUS RecordingDevice::SetExposure(int32_t mode, int32_t value) {
    if (const OCUSTATUS s =
            Note("OcuAECControl", {mode, value}, std::to_string(mode) + ", " + std::to_string(value));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SetExposure(mode, value);
}

OCUSTATUS RecordingDevice::OpenSnap(SnapCallback callback, void* context) {
    if (const OCUSTATUS s =
            Note("OcuOpenSnap", {Address(reinterpret_cast<const void*>(callback)), Address(context)},
                 Ptr(reinterpret_cast<const void*>(callback), "fn") + ", " + Ptr(context, "ctx"));
        s != OCU_OK) {
        return s;
    }
    const OCUSTATUS status = m_inner->OpenSnap(callback, context);
    if (status == OCU_OK) {
        std::lock_guard lock(m_state->mutex);
        m_state->lastCapture = m_inner->OpenCapture();
    }
    return status;
}

OCUSTATUS RecordingDevice::StartSnap(uint8_t* const* buffers, int32_t count) {
    const uint8_t* first = FirstBuffer(buffers);
    if (const OCUSTATUS s =
            Note("OcuStartSnap", {Address(first), count}, Ptr(first, "buf") + ", " + std::to_string(count));
        s != OCU_OK) {
        return s;
    }
    return m_inner->StartSnap(buffers, count);
}

OCUSTATUS RecordingDevice::StopSnap() {
    if (const OCUSTATUS s = Note("OcuStopSnap", {}, ""); s != OCU_OK) {
        return s;
    }
    return m_inner->StopSnap();
}

OCUSTATUS RecordingDevice::CloseSnap() {
    if (const OCUSTATUS s = Note("OcuCloseSnap", {}, ""); s != OCU_OK) {
        return s;
    }
    return m_inner->CloseSnap();
}

OCUSTATUS RecordingDevice::SnapShot(uint8_t* const* buffers, int32_t count) {
    const uint8_t* first = FirstBuffer(buffers);
    if (const OCUSTATUS s =
            Note("OcuSnapShot", {Address(first), count}, Ptr(first, "buf") + ", " + std::to_string(count));
        s != OCU_OK) {
        return s;
    }
    return m_inner->SnapShot(buffers, count);
}

OCUSTATUS RecordingDevice::End() {
    const OCUSTATUS scripted = Note("EndOcuDevice", {}, "");
    // The handle is gone either way: a scripted failure only changes what the caller is told.
    const OCUSTATUS status = m_inner->End();
    return scripted != OCU_OK ? scripted : status;
}

} // namespace detail_recording
} // namespace ocusnap::testing
