// Delivery threads of closed captures, kept until they can be joined without waiting for anyone.
//
// A closed capture's thread may still be inside a callback that waits for the very thread that
// closed it, so closing never joins. The reaper joins such a thread later, once it is outside its
// callback: at the next OcuOpenSnap, at EndOcuDevice, and when the process exits. A thread still
// blocked in a callback at exit is detached; it only touches the capture it co-owns.
#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ocusnap::detail {

class Capture;

class ThreadReaper {
public:
    static ThreadReaper& Instance();

    void Adopt(std::thread thread, std::shared_ptr<Capture> capture);
    // Joins every adopted thread that is outside its callback.
    void Reap();
    // At process exit: joins what can be joined and detaches the rest.
    void Shutdown();
    // Threads adopted and not yet joined (tests use it to see that nothing leaks).
    size_t Pending() const;

private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<Capture> capture;
    };
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

} // namespace ocusnap::detail
