// The rules of the frame pipeline that need no window.
#include "imaging/FramePipeline.h"

bool ocu::ConvertsThisFrame(int conversion, int& toggle) {
    if (conversion == kConversionFast)
        return true;
    if (toggle % 2 == 0) {
        toggle = 1;
        return false;
    }
    toggle = 2;
    return true;
}
