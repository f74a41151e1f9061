#include "dialogs/ScrollCodes.h"

#include <algorithm>
#include <cstdint>

namespace ocu {

int ScrollPosition(ScrollCode code, int position, int reported, int min, int max) {
    int64_t next = position;
    switch (code) {
    case ScrollCode::LineLeft:
        next -= kScrollLineStep;
        break;
    case ScrollCode::LineRight:
        next += kScrollLineStep;
        break;
    case ScrollCode::PageLeft:
        next -= kScrollPageStep;
        break;
    case ScrollCode::PageRight:
        next += kScrollPageStep;
        break;
    case ScrollCode::ThumbTrack:
    case ScrollCode::ThumbPosition:
        next = reported;
        break;
    case ScrollCode::Other:
        break;
    }
    // A range given the wrong way round holds only its minimum, as a bar set to it does.
    return static_cast<int>(std::clamp<int64_t>(next, min, std::max(min, max)));
}

} // namespace ocu
