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

// How a resolution mode gets its smaller image from the sensor.
enum class Reduction { None, Binning, Decimation, CentredRegion };

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
    std::string gainFeature;                  // "Gain" (decibels) or "GainRaw"
    std::array<std::string, 3> gainSelectors; // red, green, blue entries of GainSelector
    bool balanceHasGreen = false;

    std::string hBlankingFeature;
    std::string vBlankingFeature;
    std::string framePeriodFeature; // "AcquisitionFramePeriod" (microseconds) or "AcquisitionFrameRate"
    double baseFramePeriodUs = 0;   // the camera's own period when it was opened

    std::string speedFeature; // link throughput or sensor clock: high speed is its maximum
    bool hasExposure = false;
    std::string triggerSource; // for snap mode 1; empty: no trigger
    bool softwareTrigger = false;
    BlankingLimits blankingLimits = kLaterModelBlankingLimits;
};

// Finds out what the camera offers. Leaves the camera at binning 1 with its region at the origin.
// False when the camera has no pixel format the driver can deliver.
bool ProbeProfile(Features& features, Profile& profile);

// Sets the binning or decimation of a mode (1 in both directions for the others).
bool ApplyReduction(Features& features, const ModeGeometry& mode);
// Offsets at their minimum, so that the size ranges reach across the whole image.
void ResetOffsets(Features& features);
// The region the camera takes now, along x and y; none without Width and Height.
std::optional<std::pair<AxisLimits, AxisLimits>> RegionLimits(Features& features);

} // namespace ocusnap::detail::aravis
