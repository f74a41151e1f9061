#include "Registers.h"

#include <algorithm>
#include <cstring>

namespace ocusnap::detail {

int64_t Capabilities::LargestFrameBytes() const {
    int64_t largest = 0;
    for (const ResolutionEntry& r : resolutions) {
        largest = std::max<int64_t>(largest, int64_t{r.nWidth} * r.nHeight);
    }
    return largest;
}

Registers PowerOnRegisters(const Capabilities& caps) {
    Registers regs;
    if (!caps.resolutions.empty()) {
        regs.window = {0, 0, caps.resolutions[0].nWidth, caps.resolutions[0].nHeight};
    }
    return regs;
}

OCUSTATUS CheckResolution(const Capabilities& caps, int32_t mode) {
    if (mode < 0 || static_cast<size_t>(mode) >= caps.resolutions.size()) {
        return OCU_ERR_INVALID_ARGUMENT;
    }
    return OCU_OK;
}

OCUSTATUS CheckWindow(const Capabilities& caps, int32_t mode, const Window& w) {
    const ResolutionEntry& image = caps.resolutions.at(static_cast<size_t>(mode));
    // 64-bit sums: a huge left plus a huge width must not wrap into range.
    const bool inside = w.left >= 0 && w.top >= 0 && w.width >= 0 && w.height >= 0 &&
                        int64_t{w.left} + w.width <= image.nWidth &&
                        int64_t{w.top} + w.height <= image.nHeight;
    return inside ? OCU_OK : OCU_ERR_INVALID_ARGUMENT;
}

OCUSTATUS CheckBufferList(uint8_t* const* buffers, int32_t count) {
    if (buffers == nullptr || count != 1 || buffers[0] == nullptr) {
        return OCU_ERR_INVALID_ARGUMENT;
    }
    return OCU_OK;
}

Window FitWindow(const Capabilities& caps, int32_t mode, const Window& w) {
    const ResolutionEntry& image = caps.resolutions.at(static_cast<size_t>(mode));
    if (w.left >= image.nWidth || w.top >= image.nHeight) {
        return {0, 0, image.nWidth, image.nHeight};
    }
    Window fitted = w;
    fitted.width = std::min(w.width, image.nWidth - w.left);
    fitted.height = std::min(w.height, image.nHeight - w.top);
    return fitted;
}

BlankingLimits EffectiveBlankingLimits(const Capabilities& caps) {
    return caps.blankingLimits.value_or(kFixedBlankingLimits);
}

int32_t ClampBlanking(int32_t value, int32_t min, int32_t max) {
    return std::max(min, std::min(value, max));
}

int GainIndexOfChannel(uint8_t channel) {
    if (channel >= OCU_GAIN_RED && channel <= OCU_GAIN_BLUE) {
        return channel - OCU_GAIN_RED;
    }
    return -1;
}

OCUSTATUS AnswerInfo(const void* data, uint32_t bytes, void* buffer, uint32_t* size) {
    if (buffer == nullptr) {
        *size = bytes;
        return OCU_OK;
    }
    if (*size < bytes) {
        *size = bytes;
        return OCU_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, data, bytes);
    *size = bytes;
    return OCU_OK;
}

OCUSTATUS AnswerDeviceInfo(const Capabilities& caps, int32_t infoCode, void* buffer, uint32_t* size) {
    if (size == nullptr) {
        return OCU_ERR_INVALID_ARGUMENT;
    }
    switch (infoCode) {
    case OCU_INFO_DEVICE_TYPE:
        return AnswerInfo(&caps.deviceType, sizeof caps.deviceType, buffer, size);
    case OCU_INFO_RESOLUTIONS:
        return AnswerInfo(caps.resolutions.data(),
                          static_cast<uint32_t>(caps.resolutions.size() * sizeof(ResolutionEntry)), buffer,
                          size);
    case OCU_INFO_BLANKING_LIMITS:
        if (!caps.blankingLimits) {
            return OCU_ERR_NOT_SUPPORTED;
        }
        return AnswerInfo(&*caps.blankingLimits, sizeof(BlankingLimits), buffer, size);
    case OCU_INFO_BAYER_LAYOUT:
        return AnswerInfo(&caps.bayerLayout, sizeof caps.bayerLayout, buffer, size);
    default:
        return OCU_ERR_UNKNOWN_INFO;
    }
}

} // namespace ocusnap::detail
