#include "Profile.h"

#include "GObjectPtr.h"
#include "Mapping.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace ocusnap::detail::aravis {

namespace {

struct FormatChoice {
    const char* layout; // as in the PFNC names: BayerGR8 ...
    int32_t code;
};
constexpr std::array<FormatChoice, 4> kLayouts{
    {{"GR", OCU_BAYER_GRBG}, {"RG", OCU_BAYER_RGGB}, {"GB", OCU_BAYER_GBRG}, {"BG", OCU_BAYER_BGGR}}};

const char* FirstAvailable(const Features& features, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (features.Has(name)) {
            return name;
        }
    }
    return "";
}

int32_t ToInt32(double v) {
    return static_cast<int32_t>(std::clamp(v, static_cast<double>(std::numeric_limits<int32_t>::min()),
                                           static_cast<double>(std::numeric_limits<int32_t>::max())));
}

bool ChoosePixelFormat(Features& features, Profile& p) {
    const std::vector<std::string> entries = features.Entries("PixelFormat");
    auto available = [&](const std::string& name) {
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    };
    // The camera's own layout first (a Bayer format it was left in), then the usual order.
    std::vector<FormatChoice> order(kLayouts.begin(), kLayouts.end());
    if (const auto current = features.Enum("PixelFormat"); current && current->rfind("Bayer", 0) == 0) {
        std::stable_partition(order.begin(), order.end(),
                              [&](const FormatChoice& c) { return current->compare(5, 2, c.layout) == 0; });
    }
    // 8-bit samples first: half the bytes of a deeper format, and so twice the frames a link can carry;
    // the ADC level is then applied to them (by the camera's DigitalShift, or a shift here). A deeper
    // unpacked format only when the camera has no 8-bit Bayer format.
    for (const int bits : {8, 12, 10}) {
        for (const FormatChoice& choice : order) {
            const std::string name = std::string("Bayer") + choice.layout + std::to_string(bits);
            if (available(name)) {
                p.pixelFormat = name;
                p.significantBits = bits;
                p.bytesPerSample = bits > 8 ? 2 : 1;
                p.bayerLayout = choice.code;
                return true;
            }
        }
    }
    if (available("Mono8")) {
        p.pixelFormat = "Mono8";
        p.bayerLayout = OCU_BAYER_NONE;
        return true;
    }
    return false;
}

void ChooseGainPath(Features& features, Profile& p) {
    p.gainFeature = FirstAvailable(features, {"Gain", "GainRaw"});
    if (p.gainFeature == "Gain") {
        const bool integer = features.IsInteger("Gain");
        p.gainScale = GainScaleOf(integer, integer ? nullptr : features.Unit("Gain").c_str());
    } else {
        p.gainScale = GainScale::Raw;
    }
    const std::vector<std::string> selectors = features.Entries("GainSelector");
    auto has = [&](const char* entry) {
        return std::find(selectors.begin(), selectors.end(), entry) != selectors.end();
    };
    if (!p.gainFeature.empty()) {
        for (const char* prefix : {"", "Digital"}) {
            const std::string red = std::string(prefix) + "Red";
            const std::string green = std::string(prefix) + "Green";
            const std::string blue = std::string(prefix) + "Blue";
            if (has(red.c_str()) && has(green.c_str()) && has(blue.c_str())) {
                p.gainPath = GainPath::PerChannel;
                p.gainSelectors = {red, green, blue};
                return;
            }
        }
    }
    if (features.Has("BalanceRatio") && features.HasEntry("BalanceRatioSelector", "Red") &&
        features.HasEntry("BalanceRatioSelector", "Blue")) {
        p.gainPath = GainPath::BalanceRatio;
        p.balanceHasGreen = features.HasEntry("BalanceRatioSelector", "Green");
        return;
    }
    p.gainPath = p.gainFeature.empty() ? GainPath::None : GainPath::Global;
}

void ChooseBlanking(Features& features, Profile& p) {
    p.hBlankingFeature = FirstAvailable(features, {"HorizontalBlanking", "HBlanking"});
    p.vBlankingFeature = FirstAvailable(features, {"VerticalBlanking", "VBlanking"});
    if (!p.hBlankingFeature.empty()) {
        if (const auto r = features.Range(p.hBlankingFeature.c_str())) {
            p.blankingLimits.nHMin = ToInt32(r->min);
            p.blankingLimits.nHMax = ToInt32(r->max);
        }
    }
    if (!p.vBlankingFeature.empty()) {
        if (const auto r = features.Range(p.vBlankingFeature.c_str())) {
            p.blankingLimits.nVMin = ToInt32(r->min);
            p.blankingLimits.nVMax = ToInt32(r->max);
        }
        return;
    }
    if (features.Has("AcquisitionFramePeriod")) {
        if (const auto period = features.Number("AcquisitionFramePeriod"); period && *period > 0) {
            p.framePeriodFeature = "AcquisitionFramePeriod";
            p.baseFramePeriodUs = *period;
        }
    } else if (features.Has("AcquisitionFrameRate")) {
        if (const auto rate = features.Number("AcquisitionFrameRate"); rate && *rate > 0) {
            p.framePeriodFeature = "AcquisitionFrameRate";
            p.baseFramePeriodUs = 1e6 / *rate;
        }
    }
}

void ChooseTrigger(Features& features, Profile& p) {
    if (!features.Has("TriggerMode")) {
        return;
    }
    p.hasTriggerMode = true;
    const std::vector<std::string> sources = features.Entries("TriggerSource");
    auto line = std::find(sources.begin(), sources.end(), "Line0");
    if (line == sources.end()) {
        line = std::find_if(sources.begin(), sources.end(),
                            [](const std::string& s) { return s.rfind("Line", 0) == 0; });
    }
    const bool software = std::find(sources.begin(), sources.end(), "Software") != sources.end();
    p.softwareTrigger = software && features.Has("TriggerSoftware");
    if (line != sources.end()) {
        p.triggerSource = *line;
    } else if (software) {
        p.triggerSource = "Software";
    }
}

// The binning or decimation feature pair for `factor`, if the camera can do it in both directions.
bool Offers(Features& features, const char* horizontal, const char* vertical, int32_t factor) {
    const auto h = features.Range(horizontal);
    const auto v = features.Range(vertical);
    return h && v && h->max >= factor && v->max >= factor;
}

} // namespace

std::optional<std::pair<AxisLimits, AxisLimits>> RegionLimits(Features& features, bool bayer) {
    const auto width = features.Range("Width");
    const auto height = features.Range("Height");
    if (!width || !height) {
        return std::nullopt;
    }
    AxisLimits x;
    AxisLimits y;
    x.sizeMin = static_cast<int64_t>(width->min);
    x.sizeIncrement = static_cast<int64_t>(std::max(width->increment, 1.0));
    x.extent = static_cast<int64_t>(width->max);
    y.sizeMin = static_cast<int64_t>(height->min);
    y.sizeIncrement = static_cast<int64_t>(std::max(height->increment, 1.0));
    y.extent = static_cast<int64_t>(height->max);
    // Without an offset feature the region always starts at 0: a step longer than the image says so.
    x.offsetIncrement = x.extent + 1;
    y.offsetIncrement = y.extent + 1;
    if (const auto ox = features.Range("OffsetX")) {
        x.offsetMin = static_cast<int64_t>(ox->min);
        x.offsetIncrement = static_cast<int64_t>(std::max(ox->increment, 1.0));
    }
    if (const auto oy = features.Range("OffsetY")) {
        y.offsetMin = static_cast<int64_t>(oy->min);
        y.offsetIncrement = static_cast<int64_t>(std::max(oy->increment, 1.0));
    }
    if (bayer) {
        for (AxisLimits* axis : {&x, &y}) {
            if (axis->offsetIncrement <= axis->extent) {
                axis->offsetIncrement = BayerOffsetStep(axis->offsetIncrement);
                axis->offsetMin = (axis->offsetMin + 1) / 2 * 2;
            }
        }
    }
    return std::pair{x, y};
}

void ResetOffsets(Features& features) {
    for (const char* name : {"OffsetX", "OffsetY"}) {
        if (features.Has(name)) {
            features.SetNumber(name, 0);
        }
    }
}

bool ApplyReduction(Features& features, const ModeGeometry& mode) {
    bool ok = true;
    const int32_t binning = mode.reduction == Reduction::Binning ? mode.factor : 1;
    const int32_t decimation = mode.reduction == Reduction::Decimation ? mode.factor : 1;
    for (const char* name : {"BinningHorizontal", "BinningVertical"}) {
        if (features.Has(name)) {
            ok = features.SetNumber(name, binning) && ok;
        }
    }
    for (const char* name : {"DecimationHorizontal", "DecimationVertical"}) {
        if (features.Has(name)) {
            ok = features.SetNumber(name, decimation) && ok;
        }
    }
    return ok;
}

namespace {

// Continuous acquisition and no chunk data: a camera left in single-frame or chunk mode by another
// program would send one frame, or frames the driver does not read, and say nothing.
bool SetKnownAcquisitionState(Features& features, std::string& problem) {
    if (features.Has("AcquisitionMode")) {
        if (!features.HasEntry("AcquisitionMode", "Continuous")) {
            problem = "its AcquisitionMode has no Continuous entry";
            return false;
        }
        if (!features.SetEnum("AcquisitionMode", "Continuous")) {
            problem = "it refused AcquisitionMode Continuous";
            return false;
        }
    }
    if (features.Has("ChunkModeActive") && !features.SetBool("ChunkModeActive", false)) {
        problem = "it refused to switch chunk data off (ChunkModeActive)";
        return false;
    }
    if (!features.Has("AcquisitionStart") || !features.Has("AcquisitionStop")) {
        problem = "it lacks the AcquisitionStart and AcquisitionStop commands";
        return false;
    }
    return true;
}

// Whether the streamed format is still the one set once `mode`'s reduction is applied; the format is
// set again first, for cameras that change it with binning and take it back.
bool ReductionKeepsFormat(Features& features, const ModeGeometry& mode, const Profile& p) {
    if (!ApplyReduction(features, mode)) {
        return false;
    }
    if (features.Enum("PixelFormat") != p.pixelFormat) {
        features.SetEnum("PixelFormat", p.pixelFormat.c_str());
    }
    return features.Enum("PixelFormat") == p.pixelFormat;
}

} // namespace

bool ProbeProfile(Features& features, Profile& p, std::string& problem) {
    // The driver sets exposure, gains and white balance itself.
    for (const char* name : {"ExposureAuto", "GainAuto", "BalanceWhiteAuto"}) {
        if (features.HasEntry(name, "Off")) {
            features.SetEnum(name, "Off");
        }
    }
    if (!SetKnownAcquisitionState(features, problem)) {
        return false;
    }
    if (!ChoosePixelFormat(features, p)) {
        problem = "it offers none of the pixel formats BayerGR8, BayerRG8, BayerGB8, BayerBG8 (or their 10 "
                  "and 12-bit forms) and Mono8";
        return false;
    }
    if (!features.SetEnum("PixelFormat", p.pixelFormat.c_str())) {
        problem = "it refused PixelFormat " + p.pixelFormat;
        return false;
    }
    GErrorHolder error;
    p.pixelFormatValue = arv_camera_get_pixel_format(features.Camera(), error.Out());
    if (!features.Succeeded(error.Get())) {
        problem = "its PixelFormat cannot be read";
        return false;
    }
    const bool bayer = p.bayerLayout != OCU_BAYER_NONE;

    ResetOffsets(features);
    ApplyReduction(features, ModeGeometry{});
    const auto full = RegionLimits(features, bayer);
    if (!full) {
        problem = "it lacks Width and Height";
        return false;
    }
    const auto [fx, fy] = *full;
    ModeGeometry mode0;
    mode0.width = static_cast<int32_t>(FloorToStep(fx.extent, fx.sizeMin, fx.sizeIncrement));
    mode0.height = static_cast<int32_t>(FloorToStep(fy.extent, fy.sizeMin, fy.sizeIncrement));
    p.modes = {mode0};
    for (const int32_t factor : {2, 4}) {
        ModeGeometry mode;
        mode.factor = factor;
        ModeGeometry binned = mode;
        binned.reduction = Reduction::Binning;
        ModeGeometry decimated = mode;
        decimated.reduction = Reduction::Decimation;
        // Each tried in turn, from binning 1 and decimation 1.
        ReductionOffer binning;
        binning.offered = Offers(features, "BinningHorizontal", "BinningVertical", factor);
        binning.keepsFormat = binning.offered && ReductionKeepsFormat(features, binned, p);
        ReductionKeepsFormat(features, ModeGeometry{}, p);
        ReductionOffer decimation;
        decimation.offered =
            !binning.keepsFormat && Offers(features, "DecimationHorizontal", "DecimationVertical", factor);
        decimation.keepsFormat = decimation.offered && ReductionKeepsFormat(features, decimated, p);
        ReductionKeepsFormat(features, ModeGeometry{}, p);
        mode.reduction = ChooseReduction(binning, decimation);

        AxisLimits x = fx;
        AxisLimits y = fy;
        if (mode.reduction != Reduction::CentredRegion && ApplyReduction(features, mode)) {
            if (const auto reduced = RegionLimits(features, bayer)) {
                std::tie(x, y) = *reduced;
            }
        }
        // Some cameras keep the full-sensor range while binned: the image is never more than the
        // sensor divided by the factor.
        mode.width = static_cast<int32_t>(
            FloorToStep(std::min<int64_t>(x.extent, mode0.width / factor), x.sizeMin, x.sizeIncrement));
        mode.height = static_cast<int32_t>(
            FloorToStep(std::min<int64_t>(y.extent, mode0.height / factor), y.sizeMin, y.sizeIncrement));
        if (mode.reduction == Reduction::CentredRegion) {
            mode.originX = static_cast<int32_t>(
                CentredOffset(mode0.width, mode.width, fx.offsetMin, fx.offsetIncrement));
            mode.originY = static_cast<int32_t>(
                CentredOffset(mode0.height, mode.height, fy.offsetMin, fy.offsetIncrement));
        }
        ApplyReduction(features, ModeGeometry{});
        if (mode.width > 0 && mode.height > 0) {
            p.modes.push_back(mode);
        }
    }

    ChooseGainPath(features, p);
    ChooseBlanking(features, p);
    ChooseTrigger(features, p);
    if (features.Has("AcquisitionFrameRateEnable")) {
        GErrorHolder enableError;
        const gboolean enabled =
            arv_camera_get_boolean(features.Camera(), "AcquisitionFrameRateEnable", enableError.Out());
        if (!enableError) {
            p.frameRateEnabledAtOpen = enabled != FALSE;
        }
    }
    // A camera that shifts the converter's bits itself keeps the low bits the 8-bit samples lack.
    const auto shift = features.Range("DigitalShift");
    p.digitalShift =
        p.bytesPerSample == 1 && shift && shift->min <= 0 && shift->max >= double{OCU_ADC_LEVEL_MAX};
    p.hasExposure = arv_camera_is_exposure_time_available(features.Camera(), error.Out()) && !error;
    if (features.Has("DeviceLinkThroughputLimit")) {
        if (features.HasEntry("DeviceLinkThroughputLimitMode", "On")) {
            features.SetEnum("DeviceLinkThroughputLimitMode", "On");
        }
        p.speedFeature = "DeviceLinkThroughputLimit";
    } else if (features.Has("DeviceClockFrequency") && features.HasEntry("DeviceClockSelector", "Sensor")) {
        features.SetEnum("DeviceClockSelector", "Sensor");
        p.speedFeature = "DeviceClockFrequency";
    }
    return true;
}

} // namespace ocusnap::detail::aravis
