#include "ThreadReaper.h"

#include "Capture.h"

namespace ocusnap::detail {

ThreadReaper& ThreadReaper::Instance() {
    // Never destroyed: a callback that returns during process exit may still close its capture.
    static ThreadReaper* const reaper = new ThreadReaper;
    return *reaper;
}

void ThreadReaper::Adopt(std::thread thread, std::shared_ptr<Capture> capture) {
    if (!thread.joinable()) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_entries.push_back({std::move(thread), std::move(capture)});
}

void ThreadReaper::Reap() {
    std::vector<Entry> ready;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (it->capture->SafeToJoin()) {
                ready.push_back(std::move(*it));
                it = m_entries.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined outside the lock: a thread finishing its last frame may itself close a capture.
    for (Entry& e : ready) {
        if (e.thread.get_id() == std::this_thread::get_id()) {
            e.thread.detach(); // the reaping thread is this delivery thread: it ends right after
        } else {
            e.thread.join();
        }
    }
}

void ThreadReaper::Shutdown() {
    Reap();
    std::lock_guard lock(m_mutex);
    for (Entry& e : m_entries) {
        e.thread.detach();
    }
    m_entries.clear();
}

size_t ThreadReaper::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace ocusnap::detail
