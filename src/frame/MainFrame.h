// CMainFrame: the viewer's one top-level window and the owner of the whole viewer state. Every menu
// command is a handler of this class; the view and the dialogs read and change its members directly.
//
// The member functions are implemented by subject: the window's life, size rule and commands in
// src/frame, the camera configuration and acquisition in src/camera, the lookup tables and the frame
// pipeline in src/imaging, the display in src/display.
#pragma once

#include "OcuSnap.h"
#include "common/FileHandles.h"
#include "display/Bitmap.h"
#include "display/ImageAids.h"
#include "frame/CommandTable.h"
#include "frame/SizeRule.h"
#include "imaging/ChannelLuts.h"
#include "record/RecordChoice.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class CHistogramWnd;
class COcuViewerView;
class CRecordStatusDlg;
class QMenu;
class QAction;
class QPainter;
class QTimer;

namespace ocu {
class CameraWatch;
class FrameReadyEvent;
struct ImageLimits;
} // namespace ocu

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // The creation sequence, run once after construction: contents, settings, display, camera, model
    // name. 0 on success, -1 when the frame's contents could not be created.
    int OnCreate();

    // --- Settings file -----------------------------------------------------------------------------
    void LoadSettings();
    void SaveSettings();

    // --- Window geometry ---------------------------------------------------------------------------
    void MeasureFrameBorders();
    void ReapplyWindowRect();
    // The view's size changed: new region, output window, frame-rate count and exposure.
    void OnSize();

    // --- Display -----------------------------------------------------------------------------------
    void InitDisplay();
    // The frame through the pipeline and onto the screen; true when it changed the display image (false
    // for a frame the slower conversion types pass over).
    bool DrawImage();

    // --- Camera ------------------------------------------------------------------------------------
    void InitDevice();
    void ApplyExposure(int width, int upper, int lower);
    void ApplyBlanking(int h, int v);
    void ApplyOutputWindow(int left, int top, int width, int height);
    // The output window back to the region, after a change of either.
    void ApplyRegionToCamera();
    // The one buffer the camera fills, as the driver takes its buffer lists.
    std::array<uint8_t*, 1> RawBufferList() const;
    int RegionWidth() const { return m_rcRegion.right - m_rcRegion.left; }
    // Runs on the driver's delivery thread for each frame: hands it over to the user-interface thread and
    // waits until it has been drawn.
    static int32_t SnapCallback(SnapInfo* pInfo);
    // A frame of the running capture has arrived: draw it and put the frame rate in the title.
    void OnFrameReady(const ocu::FrameReadyEvent& frame);

    // --- Camera choice -----------------------------------------------------------------------------
    // The camera the command line names (empty: none), for the creation sequence to open.
    void SetCommandLineCamera(const std::string& id) { m_strCommandLineCamera = id; }
    // Opens the camera with that id (empty: the driver's own choice) and sets it up; with takeLayout the
    // Bayer layout becomes the one the camera reports. Shows the driver's error when it cannot be opened.
    void OpenCamera(const std::string& id, bool takeLayout);
    // Closes the open camera and opens the one with that id as the creation sequence does, keeping the
    // settings; a live picture goes on with the new camera.
    void SwitchCamera(const std::string& id);
    void OnChooseCamera();

    // --- Image processing --------------------------------------------------------------------------
    int BuildChannelLuts(double ratioR, double ratioG, double ratioB);
    // The raw buffer holds a frame of the bitmap header's size, or, when given, of the camera's output
    // window, which for a capture is the whole sensor rather than the region. True when the display image
    // was made from it, false when the frame was dropped or nothing could be done.
    bool ProcessFrame(int frameWidth = 0, int frameHeight = 0);
    // Gray levels of a blue-green-red image through the mapped table; dst may be src. 1 when written.
    int ConvertRgb2Gray(uint8_t* dst, const uint8_t* src, int width, int height) const;
    // Maps the gray lookup file at path, creating it when needed; keeps the file in m_hYUVLutFile and
    // returns the view, which is empty when the file could not be mapped.
    ocu::MappedView MapYUVLut(const std::string& path);
    // The white-balance measurement that the White Balance dialog's Ratio button asks for and waits on:
    // the current raw frame converted with unit ratios, and m_dRatioR/G/B measured from it. Always 1.
    int OnWbMeasure();

    // --- Commands ----------------------------------------------------------------------------------
    // Carries out a command as a menu item, an accelerator or the frame itself sends it: its update rule
    // runs first, and a command that the rule disables, or that nothing handles, is ignored. True when
    // the handler ran.
    bool ExecuteCommand(int id);
    // The state the command's update rule gives now.
    ocu::CommandUi QueryCommand(int id) const;
    // The menu item of a command, or null.
    QAction* FindAction(int id) const;
    COcuViewerView* GetActiveView() const { return m_pView; }

    void OnFileOpenImage();
    void OnFileSaveAs();
    // Shows an image file, chosen in File > Open or named on the command line, and says why when it cannot.
    void OpenImageFile(const QString& file);
    void OnResolution(int mode);
    void OnImageMode(int mode);
    void OnSnapSpeed(int speed);
    void OnBayerLayout(int layout);
    void OnConversion(int type);
    void OnCameraFeatures();
    void OnWhiteBalance();
    void OnSnapMode(int mode);
    void OnSingleSnap();
    void OnContinuousSnap();
    void OnGammaCorrect();
    void OnCancelGamma();
    void OnGetBadPixels();
    void OnEraseBadPixels();
    void OnGetTemplate();
    void OnTemplateCorrect();
    void OnGoToWebsite();
    void OnContactSupport();

    // --- The Histogram tool window (display/MainFrameHistogram.cpp) ------------------------------------
    // View > Histogram: opens the tool window over the picture, or closes it.
    void OnHistogram();
    bool IsHistogramShown() const { return m_pImageAids != nullptr; }
    // The display image was just made: from the raw buffer (a converted frame, an opened raw file) or from
    // something else (an opened BMP or JPEG file). While the tool window is open, the clipping marks follow
    // it and its figures are taken from it at most ten times a second; otherwise nothing is done.
    void OnImageMade(bool fromRaw);
    // The mouse over the view, at image pixel `pixel`: the readout, and a dragged focus rectangle.
    void OnImageMouseMove(QPoint pixel, bool dragging);
    void OnImageMousePress(QPoint pixel);
    void OnImageMouseRelease(QPoint pixel);
    void OnImageMouseLeave();
    // Paints the clipping marks and the focus rectangle over the image, on the screen only; `scale` is the
    // view's device pixels per logical pixel.
    void PaintImageAids(QPainter& painter, double scale) const;
    CHistogramWnd* HistogramWnd() const { return m_pHistogramWnd; }
    const ocu::ImageAids* GetImageAids() const { return m_pImageAids.get(); }

    // --- Recording ---------------------------------------------------------------------------------
    // The Record dialog, or the status window of the recording that runs.
    void OnRecord();
    // Starts recording the choice, and the live picture when it is not running; false, after telling the
    // user why, when it cannot start.
    bool StartRecording(const ocu::RecordChoice& choice);
    // Ends the recording; the frames waiting are still written.
    void StopRecording();
    bool IsRecording() const { return m_pRecorder != nullptr; }
    // The status window of the last recording, or null.
    CRecordStatusDlg* RecordStatus() const { return m_pRecordStatus.get(); }
    // What the Record dialog shows next.
    ocu::RecordChoice m_recordChoice;

    // --- Viewer state, in the layout every part of the viewer knows --------------------------------
    int m_bSnapping = 0;
    std::unique_ptr<ocu::GrayPalette> m_hPalette;
    const ocu::GrayPalette* m_hOldPalette = nullptr;
    ocu::BitmapInfo* m_pBmpInfo = nullptr;
    std::unique_ptr<uint8_t[]> m_pImageBuffer;
    OCUHANDLE m_hDevice = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBorderLeft = 0;
    int m_nBorderTop = 0;
    int m_nBorderRight = 0;
    int m_nBorderBottom = 0;
    int m_bWasIconic = 0;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    int m_nResolution = 0;
    int m_nSnapMode = 0;
    std::array<int, 4> m_nGain{8, 8, 8, 8};
    int m_nADCLevel = 2;
    ocu::Rect m_rcRegion;
    double m_dRatioR = 1.0;
    double m_dRatioG = 1.0;
    double m_dRatioB = 1.0;
    int m_nImageMode = 0;
    int m_nBayerLayout = 1;
    alignas(ocu::BitmapInfo) unsigned char m_BmpInfoBuf[2048];
    std::unique_ptr<uint8_t[]> m_pRawBuffer;
    int m_nFrameCount = 0;
    uint32_t m_dwStartTick = 0;
    QString m_strDeviceName;
    ocu::LutBlock m_Lut;
    int m_bGammaCorrect = 0;
    int m_nTintUpper = 60;
    int m_nTintLower = 1000;
    int m_nConversion = 1;
    int m_nSnapSpeed = 1;
    int m_nHBlanking = 0;
    int m_nVBlanking = 0;
    ocu::UniqueFd m_hYUVLutFile;
    ocu::MappedView m_pYUVLut;
    double m_dGamma = 1.0;
    std::unique_ptr<int32_t[]> m_pPatternNoise;
    std::unique_ptr<uint8_t[]> m_pBadPixels;
    int m_nTemplateFrames = 0;
    int m_bGetBadPixels = 0;
    int m_bEraseBadPixels = 0;
    int m_bGetTemplate = 0;
    int m_bTemplateCorrect = 0;
    int m_bSnapSpeedSupported = 0;
    int m_bBlankingQuery = 0;
    std::string m_strCameraId;   // the camera last chosen with Options > Camera..., kept in the settings file
    std::string m_strOpenCamera; // the id the open camera was opened with (empty: the driver's own choice)
    OCUSTATUS m_nOpenStatus = OCU_OK; // the driver's word on the last opening of a camera
    bool m_bLayoutStored = false;     // the settings file holds a Bayer layout (not a first run)
    // The display image was made from the frame in the raw buffer (not from an opened BMP or JPEG file).
    int m_bImageFromRaw = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    bool CreateContents();
    void BuildMenus();
    void BuildAccelerators();
    void UpdateMenu(QMenu* menu);
    void UpdateAction(QAction* action) const;
    void RefreshTitle();
    // The size rule over the frame's current geometry, applied to it.
    void EnforceSizeRule();
    void PostSizeRule();
    // Takes the size the window manager left the window at when Qt did not pass it on.
    void AdoptGrantedSize();
    void LayOutNow();
    void FitViewIntoFrame();
    // Size limits and increments that keep interactive resizing inside the size rule.
    void UpdateSizeLimits();
    // Device pixels per logical pixel: the region, the borders and the size rule count device pixels,
    // one per image pixel.
    double DeviceScale() const;
    // The narrowest the frame may be made, in logical pixels.
    int MinimumFrameWidth() const;
    ocu::SizeRuleInput SizeRuleState() const;
    // Before the buffers go: no frame is handed over any more and the driver writes into them no more.
    void CloseCaptureForDestruction();
    // Shows, or stops showing, that a started acquisition waits for its first frame.
    void ShowWaitingForFrame(bool waiting);
    // Ends the live picture and any recording; the driver's word on closing the capture.
    OCUSTATUS StopLivePicture();
    // Says, for a command that needs a camera, why none is open and where one is chosen.
    void ReportNoCamera() const;
    void OnCameraWatchTick();
    // Open's reading of path into the buffers; true when the file was read. note: the reason when not.
    bool ReadImageFile(const std::string& path, const ocu::ImageLimits& limits, std::string* note);

    // A frame for the recording: the raw frame as delivered before the pipeline, or the display image after.
    void RecordFrame(const ocu::FrameReadyEvent& frame);
    void OnRecordTick();
    // The recording's files complete (waiting for its writer when asked) and its window showing the end.
    void FinishRecording(bool wait);

    COcuViewerView* m_pView = nullptr;
    QHash<int, QAction*> m_actions;
    bool m_bSizeRulePosted = false;
    bool m_bClosing = false; // the close sequence has begun
    // A started acquisition that has drawn no frame yet: the start's number, whether a frame came, and
    // whether the frame shows that it waits (busy cursor, status in the title).
    unsigned m_nSnapStarts = 0;
    bool m_bFrameSinceStart = false;
    bool m_bWaitingForFrame = false;
    bool m_bBordersMeasured = false; // the size rule applies once the borders are known
    QSize m_requestedSize;           // the last size the size rule asked for, while it has not been granted
    QSize m_adoptedSize;             // the size the window manager holds the window at instead of the rule's
    // Each size change is checked against the X server's once the window manager has had time to answer.
    static constexpr int kSizeCheckDelayMs = 500;
    QTimer* m_pSizeCheckTimer = nullptr;
    void* m_pCaptureToken = nullptr; // the running capture's context, as the hand-over knows it
    ocu::Rect m_rcOutputWindow;      // the output window the camera last accepted: the size of its frames
    std::string m_strCommandLineCamera;

    // The Histogram window's measurements: only while it is open, so that a closed window costs nothing.
    ocu::FrameImage CurrentImage() const;
    void ShowImageAids();
    void RepaintImageAids();
    void OnHistogramClosed();
    std::unique_ptr<ocu::ImageAids> m_pImageAids;
    CHistogramWnd* m_pHistogramWnd = nullptr; // made on first use; a child window of the frame

    std::unique_ptr<ocurecord::Recorder> m_pRecorder;
    bool m_bRecordsRaw = false; // the recording takes the raw frames (else the display images)
    std::unique_ptr<CRecordStatusDlg> m_pRecordStatus;
    QTimer* m_pRecordTimer = nullptr;
    // Whether the running picture's camera is still there, asked when its frames stop.
    std::unique_ptr<ocu::CameraWatch> m_pCameraWatch;
    QTimer* m_pCameraWatchTimer = nullptr;
};
