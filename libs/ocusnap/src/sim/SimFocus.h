// The focus lever of the simulated camera's lens: the chart as a lens set N pixels out of focus shows it,
// for trying and testing focus aids. The blur is a Gaussian of standard deviation N pixels of the mode's
// image, applied to the scene's light before the colour filters: each Bayer colour is blurred within its
// own sites, so that no colour bleeds into another.
#pragma once

#include "SimScene.h"

#include <cstdint>
#include <vector>

namespace ocusnap::detail::sim {

// The chart's radiance codes (ModeScene::chart) blurred by `focus` pixels; the chart itself for 0.
// Computed once per change of the lever, never per frame.
std::vector<uint16_t> BlurChart(const ModeScene& scene, int focus);

// How much of a site at `distance` pixels from the centre of a disc of `radius` the disc covers when the
// lens is `focus` pixels out of focus: 1 inside and 0 outside for a sharp lens, a soft edge 3 x focus
// pixels wide on either side otherwise.
double DiscCoverage(double distance, double radius, int focus);

} // namespace ocusnap::detail::sim
