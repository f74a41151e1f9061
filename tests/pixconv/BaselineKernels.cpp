// The library's kernels built once more for baseline x86-64 alone, in a namespace of their own (the build
// renames `pixconv`): the reference that the kernels chosen for this processor must match bit for bit.
#include "BaselineKernels.h"

#include "Demosaic.h"

namespace pixtest {

std::vector<uint8_t> ConvertWithBaselineKernels(const std::vector<uint8_t>& raw, int w, int h, int nType,
                                                int nLayout, const Lut& lut) {
    namespace base = pixconv; // pixconv_baseline in this file
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    const base::RawImage image{raw.data(), w, h, base::BayerPattern::FromLayout(nLayout)};
    const base::PackedLut packed(lut.r.data(), lut.g.data(), lut.b.data());
    switch (nType) {
    case PIX_CONVERT_NORMAL:
        base::ConvertHamiltonAdams(image, out.data(), packed, nullptr);
        break;
    case PIX_CONVERT_EDGESENSING:
        base::ConvertRcd(image, out.data(), packed, nullptr);
        break;
    case PIX_CONVERT_BEST:
        base::ConvertLmmse(image, out.data(), packed, nullptr);
        break;
    default:
        base::ConvertFast(base::FastPath::kBaseline, image, out.data(), packed, nullptr);
        break;
    }
    return out;
}

} // namespace pixtest
