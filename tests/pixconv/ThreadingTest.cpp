// The conversions spread over the worker pool: the same result at every thread count, a pool that keeps
// working over thousands of calls and for two callers at once, and a clean end of the process.
#include "Demosaic.h"
#include "TestImages.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace pixtest;
using pixconv::WorkerPool;

namespace {

using Kernel = void (*)(const pixconv::RawImage&, uint8_t*, const pixconv::PackedLut&, WorkerPool*,
                        std::ptrdiff_t);

struct SlowType {
    const char* name;
    Kernel kernel;
};
constexpr SlowType kSlowTypes[] = {{"normal", pixconv::ConvertHamiltonAdams},
                                   {"edgesensing", pixconv::ConvertRcd},
                                   {"best", pixconv::ConvertLmmse}};

std::vector<uint8_t> ConvertWith(Kernel kernel, const std::vector<uint8_t>& raw, int w, int h, int nLayout,
                                 WorkerPool* pool, std::ptrdiff_t tile) {
    const Lut lut = Identity();
    const pixconv::RawImage image{raw.data(), w, h, pixconv::BayerPattern::FromLayout(nLayout)};
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    kernel(image, out.data(), pixconv::PackedLut(lut.r.data(), lut.g.data(), lut.b.data()), pool, tile);
    return out;
}

// Sets the library's own pool to a number of threads for one test, and back to what it was.
class SharedThreads {
public:
    explicit SharedThreads(int n) : m_before(pixconv::SharedPool()->Threads()) {
        pixconv::SharedPool()->Resize(n);
    }
    ~SharedThreads() { pixconv::SharedPool()->Resize(m_before); }
    SharedThreads(const SharedThreads&) = delete;
    SharedThreads& operator=(const SharedThreads&) = delete;

private:
    int m_before;
};

TEST(WorkerPool, RunsEveryTaskOnceWithItsOwnMemory) {
    for (int threads : {1, 2, 3, 8}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        for (std::ptrdiff_t count : {0, 1, 2, 7, 1000}) {
            std::vector<std::atomic<int>> runs(static_cast<size_t>(count));
            std::mutex mutex;
            std::vector<float*> seen; // memory in use by some thread, one entry per thread
            pool.Run(count, 100, 10, [&](std::ptrdiff_t i, WorkerPool::Memory memory) {
                // Fill it all: a thread sharing another's memory, or memory too small, shows under the
                // sanitizers.
                for (int k = 0; k < 100; ++k)
                    memory.floats[k] = static_cast<float>(i);
                for (int k = 0; k < 10; ++k)
                    memory.bytes[k] = static_cast<uint8_t>(i);
                for (int k = 0; k < 100; ++k)
                    ASSERT_EQ(memory.floats[k], static_cast<float>(i));
                ++runs[static_cast<size_t>(i)];
                const std::lock_guard lock(mutex);
                if (std::find(seen.begin(), seen.end(), memory.floats) == seen.end())
                    seen.push_back(memory.floats);
            });
            for (const auto& r : runs)
                ASSERT_EQ(r.load(), 1) << threads << " threads, " << count << " tasks";
            EXPECT_LE(seen.size(), static_cast<size_t>(threads));
        }
    }
}

// Jobs of a few tasks, one right after the other, on more threads than there are cores: workers often
// wake for a job that others have finished already, and must not run a task of it then, nor of the
// next job twice. Each job's record lives on the stack of its call, as a conversion's context does.
TEST(WorkerPool, ManySmallJobsInARowEachRunExactlyTheirTasks) {
    WorkerPool pool(8);
    for (int job = 0; job < 5000; ++job) {
        const std::ptrdiff_t count = 1 + job % 4;
        std::atomic<int> runs[4] = {0, 0, 0, 0};
        pool.Run(count, 0, 0, [&](std::ptrdiff_t i, WorkerPool::Memory) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(job % 7);
            while (std::chrono::steady_clock::now() < until) {
            }
            runs[i].fetch_add(1);
        });
        for (std::ptrdiff_t i = 0; i < 4; ++i)
            ASSERT_EQ(runs[i].load(), i < count ? 1 : 0) << "job " << job << ", task " << i;
    }
}

TEST(WorkerPool, OneThreadRunsEveryTaskOnTheCallerInOrder) {
    WorkerPool pool(1);
    std::vector<std::ptrdiff_t> order;
    const auto caller = std::this_thread::get_id();
    pool.Run(50, 0, 0, [&](std::ptrdiff_t i, WorkerPool::Memory) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    ASSERT_EQ(order.size(), 50u);
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], static_cast<std::ptrdiff_t>(i));
}

TEST(WorkerPool, ThreadCountComesFromTheEnvironmentOrTheCores) {
    struct Case {
        const char* env;
        int cores, expected;
    };
    for (const Case c : {Case{nullptr, 2, 2},
                         {"", 4, 4},
                         {"1", 8, 1},
                         {"3", 2, 3},
                         {"64", 2, 64},
                         {"65", 2, 2},
                         {"0", 2, 2},
                         {"-2", 2, 2},
                         {"2x", 6, 6},
                         {"two", 2, 2},
                         {nullptr, 0, 1},
                         {nullptr, 100, 64}})
        EXPECT_EQ(pixconv::ThreadCount(c.env, c.cores), c.expected)
            << (c.env ? c.env : "(unset)") << ", " << c.cores;
}

// Tile counts odd and even, a frame smaller than one tile, sizes that are no multiple of the tile, and
// widths that are no multiple of 4.
TEST(Conversion, SlowTypesAreBitIdenticalAtEveryThreadCount) {
    struct Case {
        int w, h;
        std::ptrdiff_t tile;
    };
    // 9, 6, 1 and 15 tiles.
    const Case cases[] = {{130, 98, 48}, {144, 96, 48}, {18, 10, pixconv::kTileSize}, {66, 34, 14}};
    for (const Case& c : cases) {
        const auto raw = RandomBytes(static_cast<size_t>(c.w) * c.h, c.w + c.h);
        for (const SlowType& type : kSlowTypes) {
            for (int nLayout : {PIX_BAYER_GBRG, PIX_BAYER_RGGB}) {
                const auto single = ConvertWith(type.kernel, raw, c.w, c.h, nLayout, nullptr, c.tile);
                for (int threads : {1, 2, 3, 8}) {
                    WorkerPool pool(threads);
                    ASSERT_EQ(ConvertWith(type.kernel, raw, c.w, c.h, nLayout, &pool, c.tile), single)
                        << type.name << " " << c.w << "x" << c.h << " tile " << c.tile << ", " << threads
                        << " threads";
                }
            }
        }
    }
}

// Fast split into bands of rows however small the frame, against its one-pixel-at-a-time reference.
TEST(Conversion, FastBandsAreBitIdenticalAtEveryThreadCount) {
    const Lut lut = Identity();
    const pixconv::PackedLut packed(lut.r.data(), lut.g.data(), lut.b.data());
    for (auto [w, h] : {std::pair{34, 18}, {66, 34}, {130, 98}, {642, 10}, {32, 2}}) {
        const auto raw = RandomBytes(static_cast<size_t>(w) * h, w * h);
        const pixconv::RawImage image{raw.data(), w, h, pixconv::BayerPattern::FromLayout(PIX_BAYER_BGGR)};
        std::vector<uint8_t> reference(raw.size() * 3), out(reference.size());
        pixconv::ConvertFastReference(image, reference.data(), packed);
        for (int threads : {2, 3, 8}) {
            WorkerPool pool(threads);
            pixconv::ConvertFast(pixconv::BestFastPath(), image, out.data(), packed, &pool, 0);
            ASSERT_EQ(out, reference) << w << "x" << h << ", " << threads << " threads";
        }
    }
}

// Through the library's entry point and its own pool, Fast on a frame large enough to be split.
TEST(Conversion, EveryTypeThroughTheLibraryIsBitIdenticalAtEveryThreadCount) {
    for (int nType : kTypes) {
        // Widths no multiple of 4; Fast's frame above the size from which it splits its rows.
        const bool bFast = nType == PIX_CONVERT_FAST;
        const int w = bFast ? 1026 : 642, h = bFast ? 1026 : 410;
        static_assert(1026 * 1026 >= pixconv::kFastSplitPixels);
        const auto raw = RandomBytes(static_cast<size_t>(w) * h, 3);
        std::vector<uint8_t> single;
        for (int threads : {1, 2, 3, 8}) {
            const SharedThreads shared(threads);
            const auto out = Convert(raw, w, h, nType, PIX_BAYER_GRBG);
            if (threads == 1)
                single = out;
            else
                ASSERT_EQ(out, single) << "type " << nType << ", " << threads << " threads";
        }
    }
}

TEST(Conversion, PoolKeepsWorkingOverThousandsOfCalls) {
    WorkerPool pool(3);
    const int sizes[][2] = {{64, 40}, {130, 98}};
    std::vector<uint8_t> raws[2], expected[2];
    for (int k = 0; k < 2; ++k) {
        raws[k] = RandomBytes(static_cast<size_t>(sizes[k][0]) * sizes[k][1], 10 + k);
        expected[k] = ConvertWith(pixconv::ConvertHamiltonAdams, raws[k], sizes[k][0], sizes[k][1],
                                  PIX_BAYER_BGGR, nullptr, 32);
    }
    for (int call = 0; call < 3000; ++call) {
        const int k = call % 7 == 0; // now and then the larger frame, whose planes are larger
        ASSERT_EQ(ConvertWith(pixconv::ConvertHamiltonAdams, raws[k], sizes[k][0], sizes[k][1],
                              PIX_BAYER_BGGR, &pool, 32),
                  expected[k])
            << "call " << call;
    }
}

TEST(Conversion, TwoCallersAtOnceEachGetTheirOwnResult) {
    const SharedThreads shared(2);
    struct Job {
        int w, h, nType;
        std::vector<uint8_t> raw, expected;
    };
    Job jobs[2] = {{130, 98, PIX_CONVERT_BEST, {}, {}}, {1026, 1026, PIX_CONVERT_FAST, {}, {}}};
    for (Job& job : jobs) {
        job.raw = RandomBytes(static_cast<size_t>(job.w) * job.h, job.w);
        job.expected = Convert(job.raw, job.w, job.h, job.nType, PIX_BAYER_GBRG);
    }
    std::atomic<int> failures{0};
    auto caller = [&](const Job& job) {
        for (int n = 0; n < 100; ++n)
            if (Convert(job.raw, job.w, job.h, job.nType, PIX_BAYER_GBRG) != job.expected)
                ++failures;
    };
    std::thread other(caller, std::cref(jobs[1]));
    caller(jobs[0]);
    other.join();
    EXPECT_EQ(failures.load(), 0);
}

// The process ends while the pool waits for work: its workers are stopped and joined, or, in the child
// of a fork, where they do not exist, left alone.
TEST(ConversionDeathTest, ProcessEndsCleanlyWithThePoolIdle) {
    const int w = 400, h = 300; // several tiles: every thread of the pool has work
    const auto raw = RandomBytes(static_cast<size_t>(w) * h, 8);
    const auto expected = Convert(raw, w, h, PIX_CONVERT_EDGESENSING, PIX_BAYER_GBRG);
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, whose pool starts in it
    EXPECT_EXIT(
        {
            const SharedThreads shared(3);
            std::exit(Convert(raw, w, h, PIX_CONVERT_EDGESENSING, PIX_BAYER_GBRG) == expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, "fast"); // a copy of this process and of its running pool
    EXPECT_EXIT(std::exit(Convert(raw, w, h, PIX_CONVERT_EDGESENSING, PIX_BAYER_GBRG) == expected ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
}

} // namespace
