#include "Library.h"
#include "OcuSnapTesting.h"
#include "RecordingDevice.h"

#include <stdexcept>

namespace ocusnap::testing {

using detail_recording::RecordedSensor;
using detail_recording::RecordingDevice;

RecordingDriver::RecordingDriver() : m_state(std::make_shared<State>()) {
    std::weak_ptr<State> weak = m_state;
    const bool installed = detail::Library::Instance().InstallFactory([weak](const auto& request) {
        detail::OpenResult result;
        const std::shared_ptr<State> state = weak.lock();
        if (!state) {
            result.status = OCU_ERR_NO_CAMERA;
            return result;
        }
        // Opened by id, the recorded camera answers to any id: the test sees which one was asked for.
        const int32_t deviceNumber = request.id ? OCU_FIRST_DEVICE : request.deviceNumber;
        const char* const begin = request.id ? "BeginOcuDeviceById" : "BeginOcuDevice";
        state->Record(begin, request.id ? std::vector<int64_t>{} : std::vector<int64_t>{deviceNumber},
                      std::string(begin) + "(" + request.id.value_or(std::to_string(deviceNumber)) + ")");
        if (const OCUSTATUS s = state->ScriptedStatus(begin); s != OCU_OK) {
            result.status = s;
            return result;
        }
        if (deviceNumber != OCU_FIRST_DEVICE) {
            result.status = OCU_ERR_NO_CAMERA;
            return result;
        }
        detail::Capabilities caps;
        {
            std::lock_guard lock(state->mutex);
            caps = state->caps;
        }
        auto inner = std::make_shared<detail::CameraDevice>(std::make_shared<RecordedSensor>(caps));
        {
            std::lock_guard lock(state->mutex);
            state->device = inner;
        }
        result.device = std::make_shared<RecordingDevice>(state, std::move(inner));
        result.camera = request.id.value_or("recorded:1");
        return result;
    });
    if (!installed) {
        throw std::logic_error("only one RecordingDriver may exist at a time");
    }
}

RecordingDriver::~RecordingDriver() {
    detail::Library::Instance().RemoveFactory();
    detail::Library::Instance().EndDevices([](const detail::Device& device) {
        return dynamic_cast<const RecordingDevice*>(&device) != nullptr;
    });
}

void RecordingDriver::SetDeviceType(int32_t type) {
    std::lock_guard lock(m_state->mutex);
    m_state->caps.deviceType = type;
    m_state->caps.hasSnapSpeed = type >= 2;
}

void RecordingDriver::SetResolutions(std::vector<ResolutionEntry> table) {
    std::lock_guard lock(m_state->mutex);
    m_state->caps.resolutions = std::move(table);
}

void RecordingDriver::SetBlankingLimits(BlankingLimits limits) {
    std::lock_guard lock(m_state->mutex);
    m_state->caps.blankingLimits = limits;
}

void RecordingDriver::SetStatus(std::string_view function, OCUSTATUS status) {
    std::lock_guard lock(m_state->mutex);
    if (status == OCU_OK) {
        m_state->statuses.erase(std::string(function));
    } else {
        m_state->statuses[std::string(function)] = status;
    }
}

void RecordingDriver::FailDeviceInfo(int32_t infoCode, OCUSTATUS status) {
    std::lock_guard lock(m_state->mutex);
    if (status == OCU_OK) {
        m_state->infoFailures.erase(infoCode);
    } else {
        m_state->infoFailures[infoCode] = status;
    }
}

std::vector<RecordedCall> RecordingDriver::Calls() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->calls;
}

std::vector<std::string> RecordingDriver::CallTexts() const {
    std::vector<std::string> texts;
    for (const RecordedCall& call : Calls()) {
        texts.push_back(call.text);
    }
    return texts;
}

std::vector<std::string> RecordingDriver::CallNames() const {
    std::vector<std::string> names;
    for (const RecordedCall& call : Calls()) {
        names.push_back(call.function);
    }
    return names;
}

void RecordingDriver::ClearCalls() {
    std::lock_guard lock(m_state->mutex);
    m_state->calls.clear();
}

bool RecordingDriver::DeliverFrame(uint8_t value) {
    std::shared_ptr<detail::CameraDevice> device;
    {
        std::lock_guard lock(m_state->mutex);
        device = m_state->device.lock();
    }
    const std::shared_ptr<detail::Capture> capture = device ? device->OpenCapture() : nullptr;
    return capture && capture->RequestFrame(value);
}

int RecordingDriver::FramesDelivered() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->lastCapture ? m_state->lastCapture->FramesDelivered() : 0;
}

bool RecordingDriver::InCallback() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->lastCapture && m_state->lastCapture->InCallback();
}

} // namespace ocusnap::testing
