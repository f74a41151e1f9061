// The frame rate shown in the title while frames arrive.
#pragma once

#include <cstdint>

namespace ocu {

// Frames per second since startTick: the count times 1000 over the milliseconds elapsed plus one, so that a
// frame in the same millisecond as the start shows 1000. The ticks are a wrapping 32-bit millisecond clock.
inline float FrameRate(int frameCount, uint32_t startTick, uint32_t nowTick) {
    // The product in 64 bits: a long run must not overflow into a negative rate.
    const auto frames = static_cast<float>(static_cast<int64_t>(frameCount) * 1000);
    const uint32_t elapsed = nowTick - startTick + 1u;
    return frames / static_cast<float>(elapsed);
}

} // namespace ocu
