// ocusnap-info --stats: the exposure and focus figures of a few frames, as the viewer's Histogram window
// shows them, for scripts and for checking a camera's set-up where no window can be opened.
#pragma once

#include "OcuSnap.h"

// A step that failed: what it was and the driver's words on standard error. Returns the exit status, 1.
int Fail(const char* what, OCUSTATUS status);

// "GBRG", "GRBG", "BGGR", "RGGB" for the driver's Bayer layouts; null for a monochrome sensor.
const char* LayoutName(int32_t layout);

// Camera 1, closed on every way out.
struct OpenCamera {
    OCUHANDLE handle = nullptr;
    OpenCamera() = default;
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;
    ~OpenCamera() {
        if (handle) {
            EndOcuDevice(handle);
        }
    }
};

// Opens camera 1, takes `frames` single frames of its whole mode-0 image and prints for each the mean and
// the shares at 0 and 255 of every Bayer channel and a line "sharpness S". The exit status: 0, or 1 when
// a step failed.
int PrintFrameStats(int frames);
