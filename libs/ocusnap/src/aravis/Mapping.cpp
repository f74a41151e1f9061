#include "Mapping.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace ocusnap::detail::aravis {

namespace {

int64_t CeilDiv(int64_t a, int64_t b) {
    return a <= 0 ? 0 : (a + b - 1) / b;
}

} // namespace

int64_t FloorToStep(int64_t size, int64_t min, int64_t increment) {
    if (size < min) {
        return 0;
    }
    const int64_t step = std::max<int64_t>(increment, 1);
    return min + (size - min) / step * step;
}

int64_t BayerOffsetStep(int64_t increment) {
    const int64_t step = std::max<int64_t>(increment, 1);
    return step % 2 == 0 ? step : 2 * step;
}

int64_t CentredOffset(int64_t extent, int64_t size, int64_t offsetMin, int64_t offsetStep) {
    const int64_t step = std::max<int64_t>(offsetStep, 1);
    const int64_t wanted = std::max<int64_t>((extent - size) / 2, offsetMin);
    return offsetMin + (wanted - offsetMin) / step * step;
}

Reduction ChooseReduction(const ReductionOffer& binning, const ReductionOffer& decimation) {
    if (binning.offered && binning.keepsFormat) {
        return Reduction::Binning;
    }
    if (decimation.offered && decimation.keepsFormat) {
        return Reduction::Decimation;
    }
    return Reduction::CentredRegion;
}

std::optional<Span> ContainingSpan(int64_t start, int64_t size, const AxisLimits& limits) {
    const int64_t offsetStep = std::max<int64_t>(limits.offsetIncrement, 1);
    const int64_t sizeStep = std::max<int64_t>(limits.sizeIncrement, 1);
    const int64_t end = start + std::max<int64_t>(size, 1);
    if (start < limits.offsetMin || end > limits.extent) {
        return std::nullopt;
    }
    Span span;
    span.offset = limits.offsetMin + (start - limits.offsetMin) / offsetStep * offsetStep;
    const int64_t needed = end - span.offset;
    span.size = limits.sizeMin + CeilDiv(needed - limits.sizeMin, sizeStep) * sizeStep;
    // Too wide to stay at that offset: move left in offset steps while the window stays covered.
    while (span.offset + span.size > limits.extent && span.offset - offsetStep >= limits.offsetMin) {
        span.offset -= offsetStep;
        span.size = limits.sizeMin + CeilDiv(end - span.offset - limits.sizeMin, sizeStep) * sizeStep;
    }
    if (span.offset + span.size > limits.extent) {
        return std::nullopt;
    }
    return span;
}

double GainFactor(double gain) {
    return gain / 8.0;
}

GainScale GainScaleOf(bool isInteger, const char* unit) {
    if (isInteger) {
        return GainScale::Raw;
    }
    std::string u;
    for (const char* c = unit ? unit : ""; *c != '\0'; ++c) {
        if (*c != ' ') {
            u += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        }
    }
    if (u.empty() || u == "db") {
        return GainScale::Decibels;
    }
    if (u == "x" || u == "times" || u == "factor") {
        return GainScale::Factor;
    }
    return GainScale::Raw;
}

double GainFeatureValue(GainScale scale, double gain, double min, double max) {
    double value = 0;
    switch (scale) {
    case GainScale::Decibels:
        value = gain > 0 ? GainDecibels(gain) : min;
        break;
    case GainScale::Factor:
        value = GainFactor(gain);
        break;
    case GainScale::Raw:
        value = RawGain(gain, min, max);
        break;
    }
    return std::clamp(value, min, std::max(min, max));
}

double GainDecibels(double gain) {
    if (gain <= 0) {
        return -std::numeric_limits<double>::infinity();
    }
    return 20.0 * std::log10(GainFactor(gain));
}

double RawGain(double gain, double min, double max) {
    if (gain <= 8) {
        return min;
    }
    constexpr double kSpan = double{OCU_GAIN_MAX} - 8.0;
    return min + (max - min) * std::min(gain - 8.0, kSpan) / kSpan;
}

double BlankedFramePeriod(double basePeriod, int64_t lines, int32_t vBlanking) {
    if (vBlanking <= 0 || lines <= 0) {
        return basePeriod;
    }
    return basePeriod * static_cast<double>(lines + vBlanking) / static_cast<double>(lines);
}

size_t RequiredBufferBytes(const SampleLayout& l) {
    if (l.width <= 0 || l.height <= 0) {
        return 0;
    }
    const auto lastRow = static_cast<size_t>(l.cropY + l.height - 1);
    const auto rowEnd = static_cast<size_t>(l.cropX + l.width);
    return (lastRow * static_cast<size_t>(l.bufferWidth) + rowEnd) * static_cast<size_t>(l.bytesPerSample);
}

void CopyFrame(const uint8_t* buffer, const SampleLayout& l, int32_t adcLevel, bool shifted,
               uint8_t* destination) {
    const auto width = static_cast<size_t>(std::max(l.width, 0));
    const auto stride = static_cast<size_t>(l.bufferWidth) * static_cast<size_t>(l.bytesPerSample);
    for (int32_t y = 0; y < l.height; ++y) {
        const uint8_t* row = buffer + static_cast<size_t>(l.cropY + y) * stride +
                             static_cast<size_t>(l.cropX) * static_cast<size_t>(l.bytesPerSample);
        uint8_t* out = destination + static_cast<size_t>(y) * width;
        if (l.bytesPerSample == 1) {
            if (shifted || adcLevel <= 0) {
                std::memcpy(out, row, width);
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                out[x] = static_cast<uint8_t>(std::min<uint32_t>(uint32_t{row[x]} << adcLevel, 255));
            }
            continue;
        }
        // value * 2^level / 2^(bits - 8), without shifting by a negative amount
        const int shift = l.significantBits - 8 - adcLevel;
        for (size_t x = 0; x < width; ++x) {
            const uint32_t sample = uint32_t{row[2 * x]} | (uint32_t{row[2 * x + 1]} << 8);
            const uint32_t value = shift >= 0 ? sample >> shift : sample << -shift;
            out[x] = static_cast<uint8_t>(std::min<uint32_t>(value, 255));
        }
    }
}

} // namespace ocusnap::detail::aravis
