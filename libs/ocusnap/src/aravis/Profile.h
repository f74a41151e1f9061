// What a GenICam camera offers for each driver setting, found out once when it is opened: the
// feature each setting goes through, or that it has none (see the library's README for the table).
#pragma once

#include "../Registers.h"
#include "Features.h"
#include "Mapping.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace ocusnap::detail::aravis {

struct ModeGeometry {
    int32_t factor = 1;
    Reduction reduction = Reduction::None;
    int32_t width = 0; // the mode's image
    int32_t height = 0;
    int32_t originX = 0; // where the image starts in the camera's region coordinates
    int32_t originY = 0;
};

enum class GainPath { PerChannel, BalanceRatio, Global, None };

struct Profile {
    std::vector<ModeGeometry> modes; // mode 0 is the whole sensor

    std::string pixelFormat; // the PixelFormat entry streamed
    ArvPixelFormat pixelFormatValue = 0;
    int32_t bytesPerSample = 1;
    int32_t significantBits = 8;
    int32_t bayerLayout = OCU_BAYER_NONE;

    GainPath gainPath = GainPath::None;
    std::string gainFeature; // "Gain" or "GainRaw"
    GainScale gainScale = GainScale::Decibels;
    std::array<std::string, 3> gainSelectors; // red, green, blue entries of GainSelector
    bool balanceHasGreen = false;

    std::string hBlankingFeature;
    std::string vBlankingFeature;
    std::string framePeriodFeature; // "AcquisitionFramePeriod" (microseconds) or "AcquisitionFrameRate"
    double baseFramePeriodUs = 0;   // the camera's own period when it was opened
    // AcquisitionFrameRateEnable as the camera had it when it was opened (Aravis turns it off with
    // every trigger change, and the driver puts it back).
    std::optional<bool> frameRateEnabledAtOpen;

    std::string speedFeature; // link throughput or sensor clock: high speed is its maximum
    bool hasExposure = false;
    bool hasTriggerMode = false;
    std::string triggerSource; // for snap mode 1; empty: no trigger
    bool softwareTrigger = false;
    // The camera picks the ADC level's bits itself (DigitalShift); otherwise 8-bit samples are shifted
    // by the driver.
    bool digitalShift = false;
    BlankingLimits blankingLimits = kLaterModelBlankingLimits;
};

// Puts the camera in the state the driver relies on (continuous acquisition, no chunk data, no
// automatic exposure, gain or white balance) and finds out what it offers. Leaves the camera at
// binning 1 with its region at the origin. False, with what the camera lacks in `problem`, when it
// cannot serve the driver.
bool ProbeProfile(Features& features, Profile& profile, std::string& problem);

// Sets the binning or decimation of a mode (1 in both directions for the others).
bool ApplyReduction(Features& features, const ModeGeometry& mode);
// Offsets at their minimum, so that the size ranges reach across the whole image.
void ResetOffsets(Features& features);
// The region the camera takes now, along x and y; none without Width and Height. For a Bayer format the
// offsets keep to the pattern's period.
std::optional<std::pair<AxisLimits, AxisLimits>> RegionLimits(Features& features, bool bayer);

} // namespace ocusnap::detail::aravis
