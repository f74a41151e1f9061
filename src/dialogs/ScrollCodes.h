// What a dialog's scroll bar does with each of the user's scroll actions, as dialogs have always handled
// them: a line is one step, a page ten, the thumb goes where it was dragged, and the result stays within
// the bar's range.
#pragma once

namespace ocu {

enum class ScrollCode {
    LineLeft,
    LineRight,
    PageLeft,
    PageRight,
    ThumbTrack,    // the thumb is being dragged
    ThumbPosition, // the thumb was let go
    Other,         // to an end, end of scrolling: the bar stays where it is
};

inline constexpr int kScrollLineStep = 1;
inline constexpr int kScrollPageStep = 10;

// The bar's new position: from `position` by the code, or the `reported` thumb position; then limited
// to min..max.
int ScrollPosition(ScrollCode code, int position, int reported, int min, int max);

} // namespace ocu
