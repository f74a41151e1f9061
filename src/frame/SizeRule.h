// The rule that ties the frame's size to the camera image: the view's client area never exceeds the
// sensor image of the current resolution mode, its width is a multiple of 4 and its height a multiple of 2.
#pragma once

namespace ocu {

// A rectangle as the camera's output window is kept: left, top, right, bottom.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A proposed position and outer size of the frame.
struct WindowPos {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    friend bool operator==(const WindowPos&, const WindowPos&) = default;
};

// Distances between the frame's outer edges and the view's client area.
struct FrameBorders {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

enum class WindowShow { Normal, Minimized, Maximized };

struct SizeRuleInput {
    int resolution = 0; // resolution mode; mode 0 may fill the screen when maximised
    int width = 0;      // sensor image of the current mode
    int height = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    FrameBorders borders;
    WindowShow show = WindowShow::Normal;
};

// Adjusts a proposed frame geometry. wasIconic is the frame's memory of having been minimised: it is
// set while minimised and cleared by the first change after that, which is then left as proposed (the
// restore).
WindowPos ApplySizeRule(const SizeRuleInput& in, WindowPos proposed, int& wasIconic);

// Sizes in the rule are device pixels, one per image pixel; Qt lays windows out in logical pixels, which
// a scaled screen multiplies by its scale. A logical length covers the whole device pixels below it, and
// a device length is reached by the largest logical length that does not exceed it.
int ToDevicePixels(int logical, double scale);
int ToLogicalPixels(int device, double scale);

// The image region for a view client area: width rounded down to a multiple of 4, height to a multiple
// of 2, both first limited to the sensor image so that the region never exceeds the frame buffers.
Rect RegionForClient(int clientWidth, int clientHeight, int maxWidth, int maxHeight);

} // namespace ocu
