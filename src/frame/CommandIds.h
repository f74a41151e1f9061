// Command identifiers of the menu bar and the accelerator table. The numbers are the program's
// historical ones; tests and the command table refer to them.
#pragma once

namespace ocu {

enum CommandId : int {
    // The program's own commands.
    kIdContinuousSnap = 32771,
    kIdCameraFeatures = 32776,
    kIdFileOpenImage = 32783,
    kIdFileSaveAs = 32784,
    kIdWhiteBalance = 32790,
    kIdImageColor = 32792,
    kIdImageBw = 32793,
    kIdBayerGbrg = 32794,
    kIdBayerGrbg = 32795,
    kIdBayerBggr = 32796,
    kIdBayerRggb = 32797,
    kIdGoToWebsite = 32798,
    kIdContactSupport = 32799,
    kIdSnapContinuation = 32801,
    kIdSingleSnap = 32802,
    kIdSnapTrigger = 32803,
    kIdConversionFast = 32807,
    kIdConversionNormal = 32808,
    kIdConversionBest = 32809,
    kIdResolution0 = 32810,
    kIdResolution1 = 32811,
    kIdResolution2 = 32812,
    kIdGammaCorrect = 32817,
    kIdCancelGamma = 32818,
    kIdGetBadPixels = 32819,
    kIdEraseBadPixels = 32820,
    kIdGetTemplate = 32821,
    kIdTemplateCorrect = 32822,
    kIdHighSpeed = 32823,
    kIdNormalSpeed = 32824,
    kIdConversionEdgeSensing = 32826,
    kIdHistogram = 32840,
    kIdChooseCamera = 32861,
    kIdRecord = 32841,

    // The application framework's standard commands.
    kIdFileNew = 57600,
    kIdFileOpen = 57601,
    kIdFileSave = 57603,
    kIdFilePrintSetup = 57606,
    kIdFilePrint = 57607,
    kIdFilePrintDirect = 57608,
    kIdFilePrintPreview = 57609,
    kIdEditCopy = 57634,
    kIdEditCut = 57635,
    kIdEditPaste = 57637,
    kIdEditUndo = 57643,
    kIdAppAbout = 57664,
    kIdAppExit = 57665,
    kIdNextPane = 57680,
    kIdPrevPane = 57681,
};

} // namespace ocu
