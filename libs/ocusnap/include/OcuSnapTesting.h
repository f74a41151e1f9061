// Test support for programs built on OcuSnap: a recording driver.
//
// While a RecordingDriver exists, BeginOcuDevice and BeginOcuDeviceById (with any id) open a recorded
// camera instead of the backend that OCUSNAP_CAMERA or the id selects. The open (recorded as
// "BeginOcuDevice(1)" or "BeginOcuDeviceById(ID)") and every OcuSnap call made with that camera's handle are
// recorded with their arguments, and answered with scripted statuses and values, so that a test can see
// exactly what a program said to the camera and in which order. Link the `ocusnap-testing` target; OcuSnap.h
// stays the public API and production code never includes this header.
//
// The recorded camera keeps the library's threading contract: frames are delivered on a delivery thread
// of its own, one per open capture, and OcuStopSnap / OcuCloseSnap never wait for a running callback.
#pragma once

#include "OcuSnap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ocusnap::testing {

struct RecordedCall {
    std::string function;      // "OcuSetOutputWindow"
    std::vector<int64_t> args; // every argument after the handle, in order; pointers as their address
                               // (OcuStartSnap records the address of buffer 0 and the count;
                               // OcuGetDeviceInfo the size passed in, -1 for a null size pointer)
    std::string text;          // "OcuSetOutputWindow(0, 0, 644, 482)": numbers in decimal, channel codes
                               // in hex ("OcuAGCControl(0x10, 8)"), buffers as "buf", the callback as
                               // "fn", the context as "ctx", null pointers as "null";
                               // "OcuGetDeviceInfo(1, null, 0)" shows the size passed in
};

class RecordingDriver {
public:
    // Installs the recorded camera for this process; only one may exist at a time.
    RecordingDriver();
    // Closes whatever the program left open and restores the normal backend.
    ~RecordingDriver();
    RecordingDriver(const RecordingDriver&) = delete;
    RecordingDriver& operator=(const RecordingDriver&) = delete;

    // --- Script ---------------------------------------------------------------------------------
    // Values the recorded camera reports. Defaults: type 2, modes 1280x1024, 640x480, 320x240,
    // blanking limits -20..4095 horizontal and -10..2047 vertical. OcuGetDeviceInfo answers from the
    // script as it stands; the checks of later calls (modes, windows, snap speed) use the script as it
    // stood when the program opened the camera. A frame or snapshot fills only the output window.
    void SetDeviceType(int32_t type);
    void SetResolutions(std::vector<ResolutionEntry> table);
    void SetBlankingLimits(BlankingLimits limits);
    // Every later call of `function` (for example "OcuStartSnap") returns `status` without effect
    // (OCU_OK restores normal answers). OcuGetDeviceInfo can be scripted per info code with
    // FailDeviceInfo.
    void SetStatus(std::string_view function, OCUSTATUS status);
    void FailDeviceInfo(int32_t infoCode, OCUSTATUS status);

    // --- Observe --------------------------------------------------------------------------------
    std::vector<RecordedCall> Calls() const;
    std::vector<std::string> CallTexts() const; // the `text` of each call, in order
    std::vector<std::string> CallNames() const; // the `function` of each call, in order
    void ClearCalls();

    // --- Drive acquisition ----------------------------------------------------------------------
    // Asks the delivery thread of the open, started capture for one frame: it fills the output window
    // of the buffer given to OcuStartSnap with `value`, then runs the callback. Returns at once (a test
    // on the thread that the callback hands frames to must keep its event loop running); false when no
    // capture is started.
    bool DeliverFrame(uint8_t value = 0x80);
    // Callbacks that have returned since the capture was opened.
    int FramesDelivered() const;
    // Whether a callback is running right now.
    bool InCallback() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace ocusnap::testing
