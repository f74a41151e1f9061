// The worker threads that the slower conversions (and Fast, on large frames) spread their work over.
//
// A pool is the calling thread plus Threads() - 1 workers, started once and kept waiting between jobs.
// A job is a count of independent tasks; the threads take the next task index from a shared counter
// until none is left, and Run returns when all have finished, so the call stays synchronous. Threads
// wait awake for a short while before they sleep (see WorkerPool.cpp). Each
// thread owns working memory that is kept from job to job and grown only when a job asks for more, so
// a steady stream of frames starts no thread and allocates nothing. One job runs at a time: a second
// caller waits for the first to finish.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pixconv {

class WorkerPool {
public:
    // The working memory of one thread during a job.
    struct Memory {
        float* floats;
        uint8_t* bytes;
    };

    // nThreads counts the calling thread; below 1 it is 1. Should the system refuse to start a worker,
    // the pool makes do with those it has.
    explicit WorkerPool(int nThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Threads() const;
    // Waits for a running job, then stops the workers and starts nThreads - 1 new ones.
    void Resize(int nThreads);

    // Runs task(index, memory) for every index in [0, count) (count below 2^32) and returns when all
    // have run. Every thread's memory holds at least `floats` floats and `bytes` bytes; growing it may
    // throw std::bad_alloc, which happens before any task runs. The tasks must not throw.
    template <typename Task>
    void Run(std::ptrdiff_t count, std::size_t floats, std::size_t bytes, const Task& task) {
        RunErased(
            count, floats, bytes,
            [](const void* context, std::ptrdiff_t index, Memory memory) {
                (*static_cast<const Task*>(context))(index, memory);
            },
            &task);
    }

private:
    using TaskFunction = void (*)(const void* context, std::ptrdiff_t index, Memory memory);
    struct Job {
        std::ptrdiff_t count; // below 2^32
        uint32_t number;      // the low bits of its generation
        TaskFunction function;
        const void* context;
    };
    struct Scratch {
        std::unique_ptr<float[]> floats;
        std::unique_ptr<uint8_t[]> bytes;
        std::size_t floatCount = 0, byteCount = 0;
        void Reserve(std::size_t nFloats, std::size_t nBytes);
    };

    void RunErased(std::ptrdiff_t count, std::size_t floats, std::size_t bytes, TaskFunction function,
                   const void* context);
    void Work(const Job& job, std::size_t slot);
    void WorkerLoop(std::size_t slot, uint64_t seen);
    void Start(int nThreads);
    void Stop();

    std::mutex m_jobMutex; // held by the caller for a whole job, and by Resize
    std::mutex m_mutex;    // guards m_job, and the waits
    std::condition_variable m_wake, m_done;
    std::atomic<uint64_t> m_generation{0}; // counts the jobs handed out; raised after m_job is set
    std::atomic<bool> m_bStop{false};
    Job m_job{};
    std::vector<std::thread> m_workers;
    std::atomic<uint64_t> m_next{0};            // the job's number above the next task to take
    std::atomic<std::ptrdiff_t> m_completed{0}; // tasks finished
    std::vector<Scratch> m_scratch;             // slot 0 for the calling thread, slot k for worker k - 1
    std::atomic<int> m_threads{1};
};

// The number of threads the library uses: PIXCONV_THREADS when it holds a whole number from 1 to
// kMaxThreads, otherwise the number of cores this process may run on.
constexpr int kMaxThreads = 64;
int ThreadCount(const char* pEnvironment, int nCores);
int DefaultThreadCount();

// The library's own pool, created on first use with DefaultThreadCount() threads and shut down when the
// process exits. Null while the process's static objects are being destroyed, after the pool was, in
// the child of a fork, and when memory for the pool cannot be had: a conversion then works on the
// calling thread alone.
WorkerPool* SharedPool();

} // namespace pixconv
