/*
 * OcuSnap: the camera driver library.
 *
 * The viewer talks to the camera only through these C functions. Every function but
 * OcuGetErrorString returns a status: OCU_OK (0) for success, one of the OCU_ERR_ codes below otherwise.
 * The backend behind them (the built-in simulated camera, or a real camera) is chosen by the library's
 * own configuration, the environment variable OCUSNAP_CAMERA, unless the caller names a camera by its id
 * (BeginOcuDeviceById); otherwise callers never see which one they got.
 *
 * Threading contract
 *  - One delivery thread per open capture. For each frame the library writes the frame into the buffer
 *    given to OcuStartSnap and then calls the SnapCallback on that thread. The buffer is not written
 *    again until the callback has returned.
 *  - OcuStopSnap and OcuStartSnap pause and resume delivery. Both return at once, also when they are
 *    called on a thread that the delivery thread is waiting for inside its callback.
 *  - After OcuCloseSnap returns no callback starts and the buffer is not written any more. OcuCloseSnap
 *    never waits for a callback that is running; that callback finishes on its own and its thread then
 *    ends by itself. The context must therefore stay valid until such a callback has returned.
 *  - Configuration calls may come from any one thread; the library serialises them internally.
 */
#ifndef OCUSNAP_H
#define OCUSNAP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open camera. Opaque: the library checks every handle it is given, so a null, stale or closed
 * handle yields OCU_ERR_INVALID_HANDLE and never touches freed memory. */
typedef struct OcuDevice_* OCUHANDLE;
typedef int32_t OCUSTATUS;

enum {
    OCU_OK = 0,
    OCU_ERR_NO_CAMERA = 1,        /* no camera with that number is attached */
    OCU_ERR_DEVICE_OPEN = 2,      /* the camera is there but could not be opened */
    OCU_ERR_INVALID_HANDLE = 3,   /* null, stale or closed handle */
    OCU_ERR_INVALID_ARGUMENT = 4, /* an argument outside its range */
    OCU_ERR_BUFFER_TOO_SMALL = 5, /* OcuGetDeviceInfo: the size passed in is too small */
    OCU_ERR_UNKNOWN_INFO = 6,     /* OcuGetDeviceInfo: no such info code */
    OCU_ERR_NOT_SUPPORTED = 7,    /* the device type lacks this feature */
    OCU_ERR_SNAP_NOT_OPEN = 8,    /* start or stop without OcuOpenSnap */
    OCU_ERR_SNAP_ALREADY_OPEN = 9,
    OCU_ERR_SNAP_RUNNING = 10,      /* not allowed while delivery runs (stop it first) */
    OCU_ERR_CAPTURE_OPEN = 11,      /* the capture could not be opened */
    OCU_ERR_CAPTURE_START = 12,     /* delivery could not be started */
    OCU_ERR_SNAPSHOT = 13,          /* no frame could be taken */
    OCU_ERR_TIMEOUT = 14,           /* the camera delivered no frame in time */
    OCU_ERR_BAD_CONFIGURATION = 15, /* the driver's environment settings (OCUSNAP_...) are not valid */
    OCU_ERR_RESOURCES = 16,         /* out of memory or threads */
    OCU_ERR_INTERNAL = 17,          /* a fault inside the driver */
    OCU_ERR_CAMERA_LOST = 18,       /* the camera stopped answering (unplugged, switched off) */
    OCU_ERR_BACKEND_MISSING = 19    /* the configured backend is not part of this build */
};

/* Device numbers start at 1. */
enum { OCU_FIRST_DEVICE = 1 };

/* Info codes of OcuGetDeviceInfo. */
enum {
    OCU_INFO_DEVICE_TYPE = 0,     /* int32_t: 0 VelA, 1 VelB, 2 VelC, 3 and up: later models */
    OCU_INFO_RESOLUTIONS = 1,     /* ResolutionEntry[size / 8], indexed by resolution mode */
    OCU_INFO_BLANKING_LIMITS = 4, /* BlankingLimits; device types 2 and 3 only */
    OCU_INFO_BAYER_LAYOUT = 5,    /* int32_t: the colour filter layout of the frames, OCU_BAYER_... */
    OCU_INFO_CAMERA_ID = 6        /* char[]: the id BeginOcuDeviceById opens this camera by ("sim",
                                     "aravis:ID"), NUL-terminated, whichever way it was opened */
};

/* Colour filter layouts, named by the first two samples of rows 0 and 1 of the sensor. */
enum { OCU_BAYER_NONE = 0, OCU_BAYER_GBRG = 1, OCU_BAYER_GRBG = 2, OCU_BAYER_BGGR = 3, OCU_BAYER_RGGB = 4 };

/* Gain channel codes of OcuAGCControl. */
enum {
    OCU_GAIN_RED = 0x10,
    OCU_GAIN_GREEN_RED_ROW = 0x11,
    OCU_GAIN_GREEN_BLUE_ROW = 0x12,
    OCU_GAIN_BLUE = 0x13
};

enum { OCU_GAIN_MAX = 127, OCU_ADC_LEVEL_MAX = 3, OCU_EXPOSURE_MAX = 16383 };

typedef struct ResolutionEntry {
    int32_t nWidth;
    int32_t nHeight;
} ResolutionEntry;

typedef struct BlankingLimits {
    int32_t nHMin;
    int32_t nVMin;
    int32_t nHMax;
    int32_t nVMax;
} BlankingLimits;

/* Passed to the SnapCallback for each delivered frame. The context is pointer-sized so that it can
 * carry the address of the receiving object on a 64-bit system. */
typedef struct SnapInfo {
    uint32_t nSize;        /* sizeof(SnapInfo) */
    uint32_t nFrameNumber; /* frames delivered since OcuOpenSnap, the first is 1 */
    int32_t nWidth;        /* size of the frame in the buffer (the output window) */
    int32_t nHeight;
    void* pContext;        /* the context given to OcuOpenSnap */
    uint64_t nTimestampUs; /* end of the frame's readout, microseconds of a monotonic clock */
} SnapInfo;

/* Runs on the delivery thread; returns 1. */
typedef int32_t (*SnapCallback)(SnapInfo* pInfo);

/* Opens camera nDevice (1 is the first) and stores its handle; on failure the handle is set to null. */
OCUSTATUS BeginOcuDevice(int32_t nDevice, OCUHANDLE* phDevice);
/* Opens the camera that szCameraId names and stores its handle; on failure the handle is set to null.
 * A camera id is what OCUSNAP_CAMERA takes: "sim" the simulated camera, "aravis" the first GenICam
 * camera found, "aravis:ID" the GenICam camera Aravis knows by ID (OcuListCameras gives ID as szId when
 * OCUSNAP_CAMERA selects Aravis), "none" no camera (OCU_ERR_NO_CAMERA). The id wins over OCUSNAP_CAMERA;
 * the backends' other settings (OCUSNAP_ARAVIS_FAKE, OCUSNAP_SIM_...) still apply. A null or empty id
 * opens what OCUSNAP_CAMERA selects, as BeginOcuDevice(OCU_FIRST_DEVICE, ...) does; an id of another
 * form is OCU_ERR_INVALID_ARGUMENT. */
OCUSTATUS BeginOcuDeviceById(const char* szCameraId, OCUHANDLE* phDevice);
/* Closes the camera, and its capture if one is still open. The handle is invalid afterwards. */
OCUSTATUS EndOcuDevice(OCUHANDLE hDevice);

/* Size protocol: with pBuffer null, *pnSize receives the size in bytes and OCU_OK is returned.
 * With a buffer, *pnSize is its size; too small gives OCU_ERR_BUFFER_TOO_SMALL and the needed size. */
OCUSTATUS OcuGetDeviceInfo(OCUHANDLE hDevice, int32_t nInfoCode, void* pBuffer, uint32_t* pnSize);

/* Mode indexes the resolution table. Accepted during acquisition: the output window is then cut down
 * to the new mode's image if it no longer fits. */
OCUSTATUS OcuSetResolution(OCUHANDLE hDevice, int32_t nMode);
/* 0 continuation (free running), 1 trigger (a frame per trigger). */
OCUSTATUS OcuSetSnapMode(OCUHANDLE hDevice, int32_t nMode);
/* 0 normal (12 MHz pixel clock), 1 high (24 MHz); device types 2 and 3 only. */
OCUSTATUS OcuSetSnapSpeed(OCUHANDLE hDevice, int32_t nSpeed);
/* Horizontal blanking in pixel clocks and vertical blanking in lines; clamped to the device's limits. */
OCUSTATUS OcuSetBlanking(OCUHANDLE hDevice, int32_t nHBlanking, int32_t nVBlanking);
/* The part of the current mode's image that is read out; frames are nWidth x nHeight bytes.
 * Refused while delivery runs and when the window leaves the mode's image. */
OCUSTATUS OcuSetOutputWindow(OCUHANDLE hDevice, int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight);
/* Analog gain 0..OCU_GAIN_MAX of one channel; 8 is unity. */
OCUSTATUS OcuAGCControl(OCUHANDLE hDevice, uint8_t nChannel, int32_t nGain);
/* nMode 0 sets the ADC level 0..3: which 8 of the converter's bits are delivered. */
OCUSTATUS OcuADCControl(OCUHANDLE hDevice, int32_t nMode, int32_t nLevel);
/* nMode 1 sets the exposure value 0..OCU_EXPOSURE_MAX, in line times. */
OCUSTATUS OcuAECControl(OCUHANDLE hDevice, int32_t nMode, int32_t nValue);

OCUSTATUS OcuOpenSnap(OCUHANDLE hDevice, SnapCallback pfnCallback, void* pContext);
/* ppBuffers holds nCount buffer addresses; nCount must be 1. Each buffer must hold one frame of the
 * largest output window the caller will set. */
OCUSTATUS OcuStartSnap(OCUHANDLE hDevice, uint8_t* const* ppBuffers, int32_t nCount);
OCUSTATUS OcuStopSnap(OCUHANDLE hDevice);
/* Closes the capture. Of a camera that stopped answering the capture is closed all the same, and the
 * status is OCU_ERR_CAMERA_LOST. */
OCUSTATUS OcuCloseSnap(OCUHANDLE hDevice);
/* Takes one frame into ppBuffers[0] and returns when it is there. Refused while delivery runs. */
OCUSTATUS OcuSnapShot(OCUHANDLE hDevice, uint8_t* const* ppBuffers, int32_t nCount);

/* A camera that the configured backend can open. The texts are NUL-terminated and cut to fit. */
typedef struct OcuCameraEntry {
    char szId[128]; /* the backend's name for the camera, as OCUSNAP_CAMERA=backend:ID takes it */
    char szVendor[64];
    char szModel[64];
} OcuCameraEntry;

/* Lists the cameras the configured backend finds. Size protocol: with pEntries null, *pnCount receives
 * the number found; with a list, *pnCount is its length on entry and the number written on return,
 * OCU_ERR_BUFFER_TOO_SMALL (and the number found) when more were found than fit. */
OCUSTATUS OcuListCameras(OcuCameraEntry* pEntries, uint32_t* pnCount);

/* A camera that this build of the library can open, whichever backend OCUSNAP_CAMERA selects. The texts
 * are NUL-terminated and cut to fit. */
typedef struct OcuCameraInfo {
    char szCameraId[160]; /* what BeginOcuDeviceById takes: "sim", "aravis:ID" */
    char szVendor[64];
    char szModel[64];
    char szSerial[64];    /* empty when the camera tells none */
    char szInterface[32]; /* "Simulated", "GigEVision", "USB3Vision", "Fake" */
} OcuCameraInfo;

/* Lists every camera that can be chosen by its id: the simulated camera first, then the GenICam cameras
 * Aravis finds (OCUSNAP_ARAVIS_FAKE applies; a search takes about a second on GigE Vision). Size
 * protocol of OcuListCameras. */
OCUSTATUS OcuListAllCameras(OcuCameraInfo* pCameras, uint32_t* pnCount);

/* An English text for any status, also for one the library does not know. Never null. The text of
 * OCU_ERR_BAD_CONFIGURATION names the variable found wrong last, its value and what it takes, and stays
 * valid for the life of the process. After an open (BeginOcuDevice, BeginOcuDeviceById) failed with
 * OCU_ERR_DEVICE_OPEN because the camera lacks a feature the library needs, the text asked for on the same
 * thread names it; that text stays valid until the thread's next open or call of OcuGetErrorString. */
const char* OcuGetErrorString(OCUSTATUS nStatus);

/* The model name of a device type as OCU_INFO_DEVICE_TYPE reports it: "VelA", "VelB" or "VelC" for types
 * 0 to 2; null for a later model, which has no name of its own. */
const char* OcuGetModelName(int32_t nDeviceType);

#ifdef __cplusplus
}
#endif

#endif /* OCUSNAP_H */
