// The recorder: frames go into a fixed set of slots on the caller's thread and are written out by a
// thread of the recorder's own.
#include "OcuRecord.h"
#include "Sink.h"
#include "TimestampLog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ocurecord {

using namespace detail;

namespace {

std::string SizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

std::string MiB(uint64_t bytes) {
    return std::to_string((bytes + (uint64_t{1} << 20) - 1) >> 20) + " MiB";
}

std::string FramesText(uint64_t frames) {
    return std::to_string(frames) + (frames == 1 ? " frame" : " frames");
}

// What a stem may be: a file name of its own, not hidden, no folder.
bool ValidStem(const std::string& stem) {
    return !stem.empty() && stem.find('/') == std::string::npos && stem.find('\0') == std::string::npos &&
           stem.front() != '.';
}

} // namespace

struct Recorder::Impl {
    Options options;
    Folder folder;
    std::unique_ptr<DiskWriter> disk;
    std::unique_ptr<Sink> sink;
    TimestampLog log;
    bool developInWriter = false;

    // The slots: their pixels in one block, their colour tables in another, what each holds beside.
    size_t slotBytes = 0;
    std::unique_ptr<uint8_t[]> memory;
    std::unique_ptr<uint8_t[]> tables;
    std::vector<SlotFrame> slots;
    std::vector<uint32_t> freeSlots; // a stack: the slot used last is used next, still in the cache
    size_t freeCount = 0;
    std::vector<uint32_t> ready; // a ring, in the frames' order
    size_t readyHead = 0;
    size_t readyCount = 0;
    std::unique_ptr<uint8_t[]> developed;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    bool writerGone = false; // the writer has left its loop: a frame put in a slot now would never be written
    Outcome outcome = Outcome::Running;
    std::string message;
    std::string note;

    std::atomic<bool> noted{false}; // `note` is written
    std::atomic<bool> accepting{true};
    std::atomic<bool> finished{false};
    std::atomic<uint64_t> offered{0};
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> dropped{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> firstUs{0}; // 0 until the first frame
    std::atomic<uint64_t> endUs{0};
    std::atomic<uint64_t> deadlineUs{0};

    // The submitting thread's own.
    uint64_t produced = 0;
    int videoWidth = 0;
    int videoHeight = 0;

    // The writer's own.
    bool failed = false;

    std::mutex joinMutex;
    std::thread writer;

    bool Setup(std::string& error);
    Submitted Place(const Frame& frame, uint64_t index, uint64_t hostUs);
    // Counts a dropped frame; the first reason of all is kept as the note (its text made only then).
    template <typename Why>
    Submitted Drop(Why why);
    void EndLocked(Outcome why, const std::string& text);
    void EndWith(Outcome why, const std::string& text);
    void WriterLoop();
    void WriteSlot(uint32_t slot);
    void Fail(const std::string& error);
    void Finalise();
};

bool Recorder::Impl::Setup(std::string& error) {
    const Target& target = options.target;
    if (!ValidStem(target.stem)) {
        error = "\"" + target.stem +
                "\" cannot be a file name: give a name without \"/\" that does not begin "
                "with a dot.";
        return false;
    }
    if (options.maxWidth <= 0 || options.maxHeight <= 0) {
        error = "There is no image to record.";
        return false;
    }
    if (!folder.Open(target.folder, error))
        return false;
    for (const std::string& name : {LogFileName(target), IsSequence(target.format) ? FrameFileName(target, 0)
                                                                                   : VideoFileName(target)}) {
        if (folder.Exists(name)) {
            error = "\"" + name + "\" already exists in \"" + folder.Path() +
                    "\": a recording never replaces files. Choose another name or folder.";
            return false;
        }
    }
    disk = std::make_unique<DiskWriter>(folder, ReserveFileName(target));
    sink = MakeSink(options, *disk, error);
    if (!sink)
        return false;

    // Slots for the largest frame: the mosaic, or the display image at 24 bits.
    const bool rawInput = RecordsRawMosaic(target.format) || options.developRaw;
    developInWriter = !RecordsRawMosaic(target.format) && options.developRaw;
    const size_t width = static_cast<size_t>(options.maxWidth);
    const size_t height = static_cast<size_t>(options.maxHeight);
    slotBytes = rawInput ? width * height : DibRowBytes(options.maxWidth, 24) * height;
    const size_t count = options.memoryCap / slotBytes;
    if (count < 2) {
        error = "The memory for frames waiting (" + MiB(options.memoryCap) + ") must hold two frames of " +
                SizeText(options.maxWidth, options.maxHeight) + " at least (" + MiB(2 * slotBytes) + ").";
        return false;
    }
    if (!disk->CreateReserve(options.reserveBytes, error))
        return false;
    try {
        // Not cleared: the pages are only touched when frames are copied in.
        memory = std::make_unique_for_overwrite<uint8_t[]>(count * slotBytes);
        if (!rawInput)
            tables = std::make_unique_for_overwrite<uint8_t[]>(count * 1024);
        if (developInWriter)
            developed = std::make_unique_for_overwrite<uint8_t[]>(DibRowBytes(options.maxWidth, 24) * height);
        slots.resize(count);
        freeSlots.resize(count);
        ready.resize(count);
    } catch (const std::bad_alloc&) {
        error = "There is not enough memory for " + MiB(options.memoryCap) + " of frames waiting.";
        return false;
    }
    for (size_t i = 0; i < count; ++i)
        freeSlots[i] = static_cast<uint32_t>(count - 1 - i);
    freeCount = count;

    if (!log.Create(*disk, LogFileName(target), error)) {
        error = "The folder \"" + folder.Path() + "\" cannot be written: " + error + ".";
        disk->Remove(LogFileName(target));
        return false;
    }
    try {
        writer = std::thread([this] { WriterLoop(); });
    } catch (const std::system_error&) {
        std::string ignored;
        log.Close(ignored);
        disk->Remove(LogFileName(target));
        error = "The recording's writer could not be started.";
        return false;
    }
    return true;
}

template <typename Why>
Submitted Recorder::Impl::Drop(Why why) {
    dropped.fetch_add(1);
    if (!noted.exchange(true)) {
        std::string text = why();
        const std::lock_guard lock(mutex);
        note = std::move(text);
    }
    return Submitted::Dropped;
}

Submitted Recorder::Impl::Place(const Frame& frame, uint64_t index, uint64_t hostUs) {
    const Format format = options.target.format;
    const bool wantRaw = RecordsRawMosaic(format) || options.developRaw;
    if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0 || frame.display == wantRaw ||
        (frame.display && frame.bitCount != 8 && frame.bitCount != 24))
        return Drop(
            [] { return std::string("Frames of another kind than the recording takes are not recorded."); });
    const size_t frameBytes = frame.display
                                  ? DibRowBytes(frame.width, frame.bitCount) * frame.height
                                  : static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
    if (frameBytes > slotBytes)
        return Drop([&] {
            return "Frames of " + SizeText(frame.width, frame.height) +
                   " are larger than the recording was set up for, and are not recorded.";
        });
    if (!IsSequence(format)) {
        if (videoWidth == 0) {
            videoWidth = frame.width;
            videoHeight = frame.height;
        } else if (frame.width != videoWidth || frame.height != videoHeight) {
            return Drop([&] {
                return "Frames of " + SizeText(frame.width, frame.height) +
                       " are not recorded: the video is " + SizeText(videoWidth, videoHeight) + ".";
            });
        }
    }

    uint32_t slot = 0;
    {
        const std::lock_guard lock(mutex);
        if (writerGone)
            return Submitted::Refused;
        if (freeCount == 0) {
            dropped.fetch_add(1);
            return Submitted::Dropped;
        }
        slot = freeSlots[--freeCount];
    }
    uint8_t* pixels = memory.get() + slot * slotBytes;
    std::memcpy(pixels, frame.pixels, frameBytes);
    SlotFrame& s = slots[slot];
    s = SlotFrame{pixels,  frame.width, frame.height,       frame.display, frame.display ? frame.bitCount : 8,
                  nullptr, index,       frame.cameraTimeUs, hostUs};
    if (frame.display && frame.bitCount == 8 && frame.colourTable != nullptr) {
        uint8_t* table = tables.get() + slot * size_t{1024};
        std::memcpy(table, frame.colourTable, 1024);
        s.colourTable = table;
    }
    {
        const std::lock_guard lock(mutex);
        if (writerGone) {
            // The recording ended while the frame was being copied.
            freeSlots[freeCount++] = slot;
            return Submitted::Refused;
        }
        ready[(readyHead + readyCount) % ready.size()] = slot;
        ++readyCount;
    }
    wake.notify_one();
    return Submitted::Taken;
}

void Recorder::Impl::EndLocked(Outcome why, const std::string& text) {
    if (outcome == Outcome::Running) {
        outcome = why;
        message = text;
    }
    accepting = false;
    stopRequested = true;
}

void Recorder::Impl::EndWith(Outcome why, const std::string& text) {
    {
        const std::lock_guard lock(mutex);
        EndLocked(why, text);
    }
    wake.notify_all();
}

void Recorder::Impl::WriterLoop() {
    std::unique_lock lock(mutex);
    for (;;) {
        while (readyCount == 0 && !stopRequested) {
            const uint64_t deadline = deadlineUs.load();
            if (deadline == 0) {
                wake.wait(lock);
                continue;
            }
            const uint64_t now = MonotonicMicroseconds();
            if (now >= deadline) {
                EndLocked(Outcome::LimitReached, {});
                break;
            }
            wake.wait_for(lock, std::chrono::microseconds(deadline - now));
        }
        if (readyCount == 0) {
            writerGone = true;
            break;
        }
        const uint32_t slot = ready[readyHead];
        readyHead = (readyHead + 1) % ready.size();
        --readyCount;
        lock.unlock();
        WriteSlot(slot);
        lock.lock();
        freeSlots[freeCount++] = slot;
    }
    lock.unlock();
    Finalise();
}

void Recorder::Impl::Fail(const std::string& error) {
    failed = true;
    if (disk->Full())
        EndWith(Outcome::DiskFull, "The disk of \"" + folder.Path() +
                                       "\" is full: the recording stopped after " +
                                       FramesText(written.load()) + ", which are complete.");
    else
        EndWith(Outcome::WriteFailed, "Writing the recording into \"" + folder.Path() + "\" failed (" +
                                          error + "): it stopped after " + FramesText(written.load()) + ".");
}

void Recorder::Impl::WriteSlot(uint32_t slot) {
    if (failed) {
        // Frames still waiting when writing failed are lost, and said to be.
        dropped.fetch_add(1);
        return;
    }
    SlotFrame frame = slots[slot];
    if (developInWriter) {
        frame.bitCount =
            DevelopRaw(options.develop, frame.pixels, frame.width, frame.height, developed.get());
        frame.pixels = developed.get();
        frame.display = true;
        frame.colourTable = nullptr;
    }
    std::string error;
    uint64_t out = 0;
    const bool ok = sink->Write(frame, out, error);
    bytes.fetch_add(out);
    if (!ok) {
        dropped.fetch_add(1);
        Fail(error);
        return;
    }
    written.fetch_add(1);
    if (!log.Add(frame.index, frame.cameraUs, frame.hostUs, frame.width, frame.height, error)) {
        Fail("the timestamp log: " + error);
        return;
    }
    // The write that found the disk full has been finished in the reserve; nothing more goes in.
    if (disk->Full())
        Fail({});
}

void Recorder::Impl::Finalise() {
    std::string error;
    uint64_t out = 0;
    bool ok = sink->Finish(out, error);
    bytes.fetch_add(out);
    if (ok && !log.Close(error)) {
        ok = false;
        error = "the timestamp log: " + error;
    } else if (!ok) {
        std::string ignored;
        log.Close(ignored);
    }
    if (written.load() == 0) {
        sink->RemoveEmpty();
        disk->Remove(LogFileName(options.target));
    }
    disk->ReleaseReserve();
    ::fsync(folder.Get());
    {
        const std::lock_guard lock(mutex);
        if (!ok && (outcome == Outcome::Stopped || outcome == Outcome::LimitReached)) {
            // The end of the files failed after a clean stop: that is what the user must hear.
            outcome = disk->Full() ? Outcome::DiskFull : Outcome::WriteFailed;
            message = "Completing the recording in \"" + folder.Path() + "\" failed (" + error + ").";
        }
    }
    endUs = MonotonicMicroseconds();
    finished = true;
}

Recorder::Recorder(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

std::unique_ptr<Recorder> Recorder::Open(const Options& options, std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    if (!impl->Setup(error))
        return nullptr;
    return std::unique_ptr<Recorder>(new Recorder(std::move(impl)));
}

Recorder::~Recorder() {
    Stop();
    Wait();
}

Submitted Recorder::Submit(const Frame& frame) {
    Impl& r = *m_impl;
    if (!r.accepting.load())
        return Submitted::Refused;
    const uint64_t now = frame.hostTimeUs != 0 ? frame.hostTimeUs : MonotonicMicroseconds();
    if (r.produced == 0) {
        r.firstUs = now;
        if (r.options.limit.seconds > 0) {
            {
                // Under the lock, so that a writer about to wait without a deadline sees it.
                const std::lock_guard lock(r.mutex);
                r.deadlineUs = now + static_cast<uint64_t>(r.options.limit.seconds * 1e6);
            }
            r.wake.notify_all();
        }
    } else if (const uint64_t deadline = r.deadlineUs.load(); deadline != 0 && now >= deadline) {
        r.EndWith(Outcome::LimitReached, {});
        return Submitted::Refused;
    }
    const Submitted result = r.Place(frame, r.produced, now);
    if (result == Submitted::Refused)
        return result;
    r.offered = ++r.produced;
    if (r.options.limit.frames != 0 && r.produced >= r.options.limit.frames)
        r.EndWith(Outcome::LimitReached, {});
    return result;
}

void Recorder::Stop() {
    m_impl->EndWith(Outcome::Stopped, {});
}

void Recorder::End(Outcome outcome, const std::string& message) {
    m_impl->EndWith(outcome, message);
}

bool Recorder::Finished() const {
    return m_impl->finished.load();
}

void Recorder::Wait() {
    const std::lock_guard lock(m_impl->joinMutex);
    if (m_impl->writer.joinable())
        m_impl->writer.join();
}

const Options& Recorder::GetOptions() const {
    return m_impl->options;
}

Progress Recorder::GetProgress() const {
    const Impl& r = *m_impl;
    Progress p;
    const bool finished = r.finished.load();
    // A frame goes from offered to dropped or waiting, and from waiting to written: read in the opposite
    // order, no frame is counted at two stages, and the written, dropped and waiting never add up to more
    // than the frames offered (and the one being offered), however long this thread is held up in between.
    p.written = r.written.load();
    p.dropped = r.dropped.load();
    {
        const std::lock_guard lock(r.mutex);
        p.outcome = r.outcome;
        p.message = r.message;
        p.note = r.note;
        p.waiting = r.readyCount;
        p.slotCount = r.slots.size();
    }
    p.state = finished ? State::Finished : (r.accepting.load() ? State::Recording : State::Finishing);
    p.offered = r.offered.load();
    p.bytes = r.bytes.load();
    const uint64_t first = r.firstUs.load();
    const uint64_t end = finished ? r.endUs.load() : MonotonicMicroseconds();
    p.seconds = first != 0 && end > first ? static_cast<double>(end - first) / 1e6 : 0.0;
    p.freeBytes = r.folder.FreeBytes();
    return p;
}

} // namespace ocurecord
