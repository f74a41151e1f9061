// Bad pixels from a frame taken with the lens covered (or of a uniformly lit surface).
//
// Point defects. Each pixel is compared with the median of its eight same-colour neighbours at
// distance two, the ring around it in the 5 x 5 same-colour window. Defects come in clusters, but a
// cluster of up to 4 x 4 pixels, a run along a row or column, or a bad line through the pixel puts at
// most three of those eight on defects, so the median remains that of the good surroundings and every
// pixel of the cluster stands out from it. A pixel is hot when it lies more than a threshold T above
// that median and above the frame's dark level (its median), dead when it lies T below both. A dark
// frame shows a dead pixel only when its dark level lies more than T above zero; a frame of a
// uniformly lit surface shows both kinds.
//
// T is eight times the spread of the frame's pixels around those medians (1.4826 times the median
// absolute deviation, the standard deviation of normal noise), and at least 16 levels, so that neither
// temporal noise nor the sensor's per-pixel offsets are taken for defects.
//
// Line defects. A column (row) whose samples lie consistently above or below their same-colour
// neighbours two and four columns (rows) away on both sides is bad as a whole, even when each sample
// alone stays within T: its offset is the median, along the line, of each sample's deviation from those
// neighbours. A line is marked when its offset exceeds both T / 2 and eight times the spread of all
// lines' offsets, so that the ordinary column pattern of a sensor's readout is left alone.
//
// The rule looks for small bright or dark features; in a frame of a lit scene a small highlight looks
// exactly like a cluster of hot pixels. Edges, gradients and larger areas are not marked.
#include "BayerPattern.h"
#include "PixConv.h"
#include "Region.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

using namespace pixconv;

namespace {

constexpr int kMinThreshold = 16;
constexpr double kSpreads = 8.0;
constexpr double kNormalSpread = 1.4826; // the standard deviation of normal noise per unit of MAD
// Lines are judged only among at least this many: fewer leave no good neighbours to compare with.
constexpr std::ptrdiff_t kMinLines = 16;
// Line offsets in half levels are kept within this: beyond it a line is bad whatever the noise.
constexpr int kMaxOffset = 127;

struct Frame {
    const uint8_t* data;
    std::ptrdiff_t w, h;

    const uint8_t* Row(std::ptrdiff_t y) const { return data + Mirror(y, h) * w; }
};

template <typename T>
inline void Order(T& a, T& b) {
    const T lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

// The median of eight values, the mean of the middle two rounded up, by Batcher's sorting network
// (the compiler drops the comparisons that do not lead to the middle two). Branch-free, so that a row
// of pixels runs through it as vectors.
inline uint8_t Median8(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4, uint8_t a5, uint8_t a6,
                       uint8_t a7) {
    Order(a0, a1), Order(a2, a3), Order(a4, a5), Order(a6, a7);
    Order(a0, a2), Order(a1, a3), Order(a4, a6), Order(a5, a7);
    Order(a1, a2), Order(a5, a6);
    Order(a0, a4), Order(a1, a5), Order(a2, a6), Order(a3, a7);
    Order(a2, a4), Order(a3, a5);
    Order(a1, a2), Order(a3, a4), Order(a5, a6);
    return static_cast<uint8_t>((a3 + a4 + 1) >> 1);
}

// The median of the same-colour ring (the eight neighbours at distance two) of every pixel of row y.
void RingMedians(const Frame& f, std::ptrdiff_t y, uint8_t* __restrict out) {
    const uint8_t* __restrict up = f.Row(y - 2);
    const uint8_t* __restrict mid = f.Row(y);
    const uint8_t* __restrict down = f.Row(y + 2);
    auto scalar = [&](std::ptrdiff_t x) {
        const std::ptrdiff_t l = Mirror(x - 2, f.w), r = Mirror(x + 2, f.w);
        out[x] = Median8(up[l], up[x], up[r], mid[l], mid[r], down[l], down[x], down[r]);
    };
    const std::ptrdiff_t inner = std::max<std::ptrdiff_t>(2, f.w - 2);
    for (std::ptrdiff_t x = 0; x < std::min<std::ptrdiff_t>(2, f.w); ++x)
        scalar(x);
    for (std::ptrdiff_t x = 2; x < inner; ++x)
        out[x] =
            Median8(up[x - 2], up[x], up[x + 2], mid[x - 2], mid[x + 2], down[x - 2], down[x], down[x + 2]);
    for (std::ptrdiff_t x = inner; x < f.w; ++x)
        scalar(x);
}

// The smallest index below which (inclusive) half of the histogram's samples lie.
template <std::size_t N>
int HistogramMedian(const std::array<std::size_t, N>& histogram, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < N; ++i) {
        seen += histogram[i];
        if (2 * seen >= count)
            return static_cast<int>(i);
    }
    return static_cast<int>(N) - 1;
}

// The frame's dark level and the threshold T.
struct Levels {
    int dark = 0;
    int threshold = kMinThreshold;
};

// The map keeps every pixel's ring median for MarkPoints, which replaces each by its mark.
Levels Measure(const Frame& f, uint8_t* pMap) {
    std::array<std::size_t, 256> levels{}, deviations{};
    for (std::ptrdiff_t y = 0; y < f.h; ++y) {
        uint8_t* median = pMap + y * f.w;
        RingMedians(f, y, median);
        const uint8_t* row = f.data + y * f.w;
        for (std::ptrdiff_t x = 0; x < f.w; ++x) {
            ++levels[row[x]];
            ++deviations[std::abs(row[x] - median[x])];
        }
    }
    const std::size_t count = static_cast<std::size_t>(f.w * f.h);
    const double spread = kNormalSpread * HistogramMedian(deviations, count);
    return {HistogramMedian(levels, count),
            std::max(kMinThreshold, static_cast<int>(std::ceil(kSpreads * spread)))};
}

void MarkPoints(const Frame& f, const Levels& levels, uint8_t* pMap) {
    const int t = levels.threshold;
    for (std::ptrdiff_t y = 0; y < f.h; ++y) {
        uint8_t* marks = pMap + y * f.w; // holds the medians Measure left, until each is replaced by its mark
        const uint8_t* row = f.data + y * f.w;
        for (std::ptrdiff_t x = 0; x < f.w; ++x) {
            const int v = row[x], median = marks[x];
            uint8_t mark = PIX_PIXEL_GOOD;
            if (v > levels.dark + t && v > median + t)
                mark = PIX_PIXEL_HOT;
            else if (v < levels.dark - t && v < median - t)
                mark = PIX_PIXEL_DEAD;
            marks[x] = mark;
        }
    }
}

// One column or row of the frame, seen along its length.
class Line {
public:
    Line(const Frame& f, bool bColumn, std::ptrdiff_t index) : m_f(f), m_bColumn(bColumn) {
        // Sample i of the line d lines across sits at m_start[d] + i * m_step.
        const std::ptrdiff_t across = bColumn ? f.w : f.h;
        for (int k = 0; k < 5; ++k) {
            const std::ptrdiff_t at = Mirror(index + 2 * (k - 2), across);
            m_start[k] = bColumn ? at : at * f.w;
        }
        m_step = bColumn ? f.w : 1;
    }

    std::ptrdiff_t Length() const { return m_bColumn ? m_f.h : m_f.w; }
    std::ptrdiff_t MapIndex(std::ptrdiff_t i) const { return m_start[2] + i * m_step; }

    // The median, along the line, of each sample's deviation from its same-colour neighbours two and
    // four lines away, in half levels. A bad line differs from both sides the same way; at an edge of
    // the scene a line agrees with the side it belongs to, and its deviation is the smaller one.
    int Offset() const {
        std::array<std::size_t, 2 * kMaxOffset + 1> histogram{};
        const uint8_t* p[5];
        for (int k = 0; k < 5; ++k)
            p[k] = m_f.data + m_start[k];
        for (std::ptrdiff_t i = 0, at = 0; i < Length(); ++i, at += m_step) {
            const int twice = 2 * p[2][at];
            const int before = twice - p[0][at] - p[1][at];
            const int after = twice - p[3][at] - p[4][at];
            const int smaller = std::abs(before) < std::abs(after) ? before : after;
            const int deviation = (before > 0) == (after > 0) ? smaller : 0;
            ++histogram[std::clamp(deviation, -kMaxOffset, kMaxOffset) + kMaxOffset];
        }
        return HistogramMedian(histogram, static_cast<std::size_t>(Length())) - kMaxOffset;
    }

private:
    const Frame& m_f;
    bool m_bColumn;
    std::ptrdiff_t m_start[5];
    std::ptrdiff_t m_step;
};

// Marks the good pixels of every column (or row) whose offset stands out. The offsets are computed
// twice, for their spread and for the marks, rather than kept: the detection needs no memory.
void MarkLines(const Frame& f, bool bColumns, int threshold, uint8_t* pMap) {
    const std::ptrdiff_t lines = bColumns ? f.w : f.h;
    if (lines < kMinLines)
        return;
    std::array<std::size_t, kMaxOffset + 1> spread{};
    for (std::ptrdiff_t k = 0; k < lines; ++k)
        ++spread[std::abs(Line(f, bColumns, k).Offset())];
    const double sigma = kNormalSpread * HistogramMedian(spread, static_cast<std::size_t>(lines));
    // threshold / 2 levels is threshold half levels.
    const int limit =
        std::min(kMaxOffset - 1, std::max(threshold, static_cast<int>(std::ceil(kSpreads * sigma))));
    if (std::all_of(spread.begin() + limit + 1, spread.end(), [](std::size_t n) { return n == 0; }))
        return; // no line stands out, as on most frames
    for (std::ptrdiff_t k = 0; k < lines; ++k) {
        const Line line(f, bColumns, k);
        const int offset = line.Offset();
        if (std::abs(offset) <= limit)
            continue;
        const uint8_t mark = offset > 0 ? PIX_PIXEL_HOT : PIX_PIXEL_DEAD;
        for (std::ptrdiff_t i = 0; i < line.Length(); ++i) {
            uint8_t& m = pMap[line.MapIndex(i)];
            m = m == PIX_PIXEL_GOOD ? mark : m;
        }
    }
}

} // namespace

int DetectDeadPixel(const uint8_t* pSrc, uint8_t* pMap, int nFullWidth, int nFullHeight) {
    if (!pSrc || !pMap || !ValidFrame(nFullWidth, nFullHeight))
        return 0;
    const Frame frame{pSrc, nFullWidth, nFullHeight};
    const Levels levels = Measure(frame, pMap);
    MarkPoints(frame, levels, pMap);
    MarkLines(frame, true, levels.threshold, pMap);
    MarkLines(frame, false, levels.threshold, pMap);
    return 1;
}
