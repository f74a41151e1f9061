// The hand-over of delivered frames from the camera driver's delivery thread to the user-interface thread.
//
// The driver calls its callback on a thread of its own and writes the next frame into the raw buffer only
// after the callback has returned. The callback therefore hands each frame over synchronously: it posts a
// FrameReadyEvent to the receiver and waits until that event has been handled, or discarded because the
// receiver is gone. Posted events are served by every event loop of the user-interface thread, modal
// dialogs and menus included, so the live picture keeps running under them.
//
// The driver never gets the address of an object that can die: its context is a token of the capture,
// checked here against the one capture that is connected. A callback of a capture that has been closed,
// or that outlives its receiver, finds no match and returns at once; an event still pending when its
// receiver is destroyed is deleted by Qt, which releases the waiting thread.
#pragma once

#include "OcuSnap.h"

#include <QEvent>
#include <cstdint>
#include <mutex>

class QObject;
class QSemaphore;

namespace ocu {

// One delivered frame, as the receiver's customEvent gets it.
class FrameReadyEvent : public QEvent {
public:
    FrameReadyEvent(const SnapInfo& info, QSemaphore* handled);
    // Releases the delivery thread: the frame has been handled, or will never be.
    ~FrameReadyEvent() override;
    FrameReadyEvent(const FrameReadyEvent&) = delete;
    FrameReadyEvent& operator=(const FrameReadyEvent&) = delete;

    static QEvent::Type EventType();

    void* Capture() const { return m_capture; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The driver's timestamp of the frame, and the monotonic clock when the driver handed it over, in
    // microseconds.
    uint64_t CameraTimeUs() const { return m_cameraTimeUs; }
    uint64_t HostTimeUs() const { return m_hostTimeUs; }

private:
    QSemaphore* m_handled;
    void* m_capture;
    int m_width;
    int m_height;
    uint64_t m_cameraTimeUs;
    uint64_t m_hostTimeUs;
};

class FrameHandOver {
public:
    // The one hand-over of the process. It is never destroyed, so that a delivery thread still inside its
    // callback while the process ends finds it intact.
    static FrameHandOver& Instance();

    // Connects a new capture to receiver (which lives on the user-interface thread) and returns the token
    // to give the driver as the capture's context. Frames of any earlier capture are no longer handed over.
    void* Connect(QObject* receiver);
    // Ends the hand-over to receiver, if it is the one connected. Called at the latest by its destructor.
    void Disconnect(const QObject* receiver);

    // On the delivery thread: hands the frame over and returns once the receiver has handled it, or at once
    // when its capture is not the connected one.
    void Deliver(const SnapInfo& info);

private:
    FrameHandOver() = default;

    std::mutex m_mutex;
    QObject* m_receiver = nullptr;
    uintptr_t m_capture = 0;
    uintptr_t m_lastCapture = 0;
};

} // namespace ocu
