#include "frame/SizeRule.h"

#include <algorithm>
#include <cmath>

namespace ocu {

WindowPos ApplySizeRule(const SizeRuleInput& in, WindowPos pos, int& wasIconic) {
    const FrameBorders& b = in.borders;
    int limitWidth = in.width;
    int limitHeight = in.height;
    if (in.resolution == 0) {
        limitWidth = in.screenWidth - b.right - b.left;
        limitHeight = in.screenHeight - b.bottom - b.top;
    }

    if (in.show == WindowShow::Minimized) {
        wasIconic = 1;
        return pos;
    }
    if (in.show == WindowShow::Maximized) {
        if (in.resolution == 0) {
            pos.x = 0;
            pos.y = 0;
        }
        pos.cx = b.right + b.left + limitWidth;
        pos.cy = b.bottom + b.top + limitHeight;
    }
    if (wasIconic) {
        wasIconic = 0;
        return pos;
    }

    // The remainders are those of signed division, so a client area that is already negative keeps its sign.
    if (pos.cx - b.left - b.right > in.width)
        pos.cx = in.width + b.left + b.right;
    pos.cx -= (pos.cx - b.left - b.right) % 4;

    if (pos.cy - b.top - b.bottom > in.height)
        pos.cy = in.height + b.top + b.bottom;
    pos.cy -= (pos.cy - b.top - b.bottom) % 2;
    return pos;
}

// The small margin keeps a product such as 3 x (4 / 3) from falling just below the whole number it is.
int ToDevicePixels(int logical, double scale) {
    return static_cast<int>(std::floor(logical * scale + 1e-6));
}

int ToLogicalPixels(int device, double scale) {
    return static_cast<int>(std::floor(device / scale + 1e-6));
}

Rect RegionForClient(int clientWidth, int clientHeight, int maxWidth, int maxHeight) {
    int width = std::max(std::min(clientWidth, maxWidth), 0);
    int height = std::max(std::min(clientHeight, maxHeight), 0);
    width -= width % 4;
    height -= height % 2;
    return Rect{0, 0, width, height};
}

} // namespace ocu
