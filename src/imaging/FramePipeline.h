// The rules of the frame pipeline that need no window.
#pragma once

namespace ocu {

// Bayer conversion types and layouts as the menus and the raw-image library number them.
enum ConversionType : int {
    kConversionFast = 1,
    kConversionNormal = 3,
    kConversionEdgeSensing = 4,
    kConversionBest = 6
};

// Whether the next colour frame is converted. Fast converts every frame; the slower types convert every
// second one, so that the live picture keeps pace with the camera. `toggle` is the alternation (1: convert
// the next slow-type frame, 2: drop it); Fast leaves it alone, so a slow type resumes where it stood.
bool ConvertsThisFrame(int conversion, int& toggle);

} // namespace ocu
