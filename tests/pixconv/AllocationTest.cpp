// The colour path allocates nothing per frame: once the pool and its working memory are there, frame
// after frame of every type converts without a single allocation. This file counts every allocation of
// the test program through its own operator new.
#include "TestImages.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
} // namespace

// The replacements below allocate with malloc and free with free; GCC sees only the free in a delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t n) {
    return ::operator new(n);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace pixtest;

TEST(Conversion, AllocatesNothingFrameAfterFrame) {
    const Lut lut = Identity();
    // The larger frame first: its working memory serves the smaller one too.
    for (auto [w, h] : {std::pair{1280, 1024}, {642, 410}}) {
        const auto raw = RandomBytes(static_cast<size_t>(w) * h, 2);
        std::vector<uint8_t> out(raw.size() * 3);
        for (int nType : kTypes) {
            auto convert = [&] {
                ConvertBayer2Rgb(out.data(), raw.data(), w, h, nType, lut.r.data(), lut.g.data(),
                                 lut.b.data(), 1, PIX_BAYER_GBRG);
            };
            convert(); // the first frame of the largest size may start the pool and grow its memory
            const long before = g_allocations.load();
            for (int frame = 0; frame < 5; ++frame)
                convert();
            EXPECT_EQ(g_allocations.load() - before, 0) << w << "x" << h << " type " << nType;
        }
    }
}

} // namespace
