#include "WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <system_error>

namespace pixconv {

void WorkerPool::Scratch::Reserve(std::size_t nFloats, std::size_t nBytes) {
    if (nFloats > floatCount) {
        floats = std::make_unique_for_overwrite<float[]>(nFloats);
        floatCount = nFloats;
    }
    if (nBytes > byteCount) {
        bytes = std::make_unique_for_overwrite<uint8_t[]>(nBytes);
        byteCount = nBytes;
    }
}

WorkerPool::WorkerPool(int nThreads) {
    Start(nThreads);
}

WorkerPool::~WorkerPool() {
    const std::lock_guard job(m_jobMutex);
    Stop();
}

int WorkerPool::Threads() const {
    return m_threads.load(std::memory_order_relaxed);
}

void WorkerPool::Resize(int nThreads) {
    const std::lock_guard job(m_jobMutex);
    Stop();
    Start(nThreads);
}

void WorkerPool::Start(int nThreads) {
    nThreads = std::clamp(nThreads, 1, kMaxThreads);
    m_bStop.store(false, std::memory_order_relaxed);
    m_workers.reserve(static_cast<std::size_t>(nThreads - 1));
    m_scratch.resize(static_cast<std::size_t>(nThreads));
    for (std::size_t slot = 1; slot < static_cast<std::size_t>(nThreads); ++slot) {
        try {
            // The worker is told which job it has seen: one handed out before it first looks must still
            // reach it.
            m_workers.emplace_back(&WorkerPool::WorkerLoop, this, slot,
                                   m_generation.load(std::memory_order_relaxed));
        } catch (const std::system_error&) {
            break;
        }
    }
    m_scratch.resize(m_workers.size() + 1);
    m_threads.store(static_cast<int>(m_workers.size()) + 1, std::memory_order_relaxed);
}

void WorkerPool::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStop.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}

namespace {

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Whether done() came true within the time limit, checking it all the while.
template <typename Done>
bool SpinUntil(const Done& done, std::chrono::microseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        for (int k = 0; k < 64; ++k) {
            if (done())
                return true;
            Pause();
        }
    } while (std::chrono::steady_clock::now() < end);
    return done();
}

// How long a worker stays awake after a job, so that a job handed out right after (frames converted
// one after the other) starts on every thread at once; and how long the caller waits awake for the
// last tasks, which is about one tile. Waking a thread that sleeps takes tens of microseconds on a
// quiet machine and milliseconds on a busy one.
constexpr std::chrono::microseconds kWorkerSpin{100};
constexpr std::chrono::microseconds kCallerSpin{1000};

} // namespace

void WorkerPool::WorkerLoop(std::size_t slot, uint64_t seen) {
    for (;;) {
        SpinUntil(
            [&] {
                return m_generation.load(std::memory_order_acquire) != seen ||
                       m_bStop.load(std::memory_order_relaxed);
            },
            kWorkerSpin);
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] {
                return m_bStop.load(std::memory_order_relaxed) ||
                       m_generation.load(std::memory_order_relaxed) != seen;
            });
            if (m_bStop.load(std::memory_order_relaxed))
                return;
            seen = m_generation.load(std::memory_order_relaxed);
            job = m_job;
        }
        Work(job, slot);
    }
}

// A task is claimed by raising the counter that pairs the job's number with the next task index, and
// only while that counter still names the job: a worker that wakes for a job after the caller has
// returned from it, or holds a job that has since been replaced, claims nothing and never touches the
// job's context. So the caller need not wait for the workers, only for the tasks.
void WorkerPool::Work(const Job& job, std::size_t slot) {
    const Memory memory{m_scratch[slot].floats.get(), m_scratch[slot].bytes.get()};
    for (;;) {
        uint64_t next = m_next.load(std::memory_order_relaxed);
        do {
            if (next >> 32 != job.number || static_cast<std::ptrdiff_t>(next & 0xFFFFFFFF) >= job.count)
                return;
        } while (!m_next.compare_exchange_weak(next, next + 1, std::memory_order_relaxed));
        job.function(job.context, static_cast<std::ptrdiff_t>(next & 0xFFFFFFFF), memory);
        if (m_completed.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count) {
            const std::lock_guard lock(m_mutex);
            m_done.notify_all();
        }
    }
}

void WorkerPool::RunErased(std::ptrdiff_t count, std::size_t floats, std::size_t bytes, TaskFunction function,
                           const void* context) {
    const std::lock_guard jobLock(m_jobMutex);
    for (Scratch& scratch : m_scratch)
        scratch.Reserve(floats, bytes);
    if (m_workers.empty() || count <= 1) {
        const Memory memory{m_scratch[0].floats.get(), m_scratch[0].bytes.get()};
        for (std::ptrdiff_t i = 0; i < count; ++i)
            function(context, i, memory);
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        const uint64_t generation = m_generation.load(std::memory_order_relaxed) + 1;
        m_job = {count, static_cast<uint32_t>(generation), function, context};
        m_next.store(uint64_t{m_job.number} << 32, std::memory_order_relaxed);
        m_completed.store(0, std::memory_order_relaxed);
        m_generation.store(generation, std::memory_order_release);
    }
    m_wake.notify_all();
    Work(m_job, 0);
    auto done = [&] { return m_completed.load(std::memory_order_acquire) == count; };
    if (SpinUntil(done, kCallerSpin))
        return;
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, done);
}

int ThreadCount(const char* pEnvironment, int nCores) {
    if (pEnvironment && *pEnvironment) {
        char* end = nullptr;
        const long n = std::strtol(pEnvironment, &end, 10);
        if (end != pEnvironment && *end == '\0' && n >= 1 && n <= kMaxThreads)
            return static_cast<int>(n);
    }
    return std::clamp(nCores, 1, kMaxThreads);
}

int DefaultThreadCount() {
    // The cores this process may run on, which a container or taskset may limit below the machine's.
    int cores = static_cast<int>(std::thread::hardware_concurrency());
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        cores = CPU_COUNT(&set);
    return ThreadCount(std::getenv("PIXCONV_THREADS"), cores);
}

namespace {

// Trivially destructible, so that they can still be read after every other static object is gone.
constinit std::atomic<bool> g_bShutDown{false};
// Set in the child of a fork: the pool's workers live on in the parent only.
constinit std::atomic<bool> g_bForked{false};

struct SharedHolder {
    std::unique_ptr<WorkerPool> pool = std::make_unique<WorkerPool>(DefaultThreadCount());

    SharedHolder() {
        pthread_atfork(nullptr, nullptr, [] { g_bForked.store(true, std::memory_order_relaxed); });
    }
    // The flag is set before the pool is destroyed: from then on no caller reaches it. A forked child
    // leaves the pool alone: its workers are not there to be joined, and a lock may have been held
    // when the process was copied.
    ~SharedHolder() {
        g_bShutDown.store(true, std::memory_order_release);
        if (g_bForked.load(std::memory_order_relaxed))
            static_cast<void>(pool.release());
    }
};

} // namespace

WorkerPool* SharedPool() {
    if (g_bShutDown.load(std::memory_order_acquire) || g_bForked.load(std::memory_order_relaxed))
        return nullptr;
    try {
        static SharedHolder holder;
        return holder.pool.get();
    } catch (const std::bad_alloc&) {
        return nullptr; // no exception leaves the C interface; the next call tries again
    }
}

} // namespace pixconv
