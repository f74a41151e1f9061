#pragma once

#include <chrono>
#include <cstdint>

namespace ocu {

// Milliseconds of a monotonic clock, wrapping at 32 bits; differences of two readings stay right across
// the wrap.
inline uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace ocu
