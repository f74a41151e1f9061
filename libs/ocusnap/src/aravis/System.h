// Aravis's process-wide side: the interfaces it searches and the cameras it finds. Discovery in Aravis
// is not thread-safe, so every use goes through here under one lock.
#pragma once

#include "../Library.h"

#include <mutex>
#include <string>
#include <vector>

namespace ocusnap::detail::aravis {

std::mutex& SystemMutex();

// Under SystemMutex: applies OCUSNAP_ARAVIS_FAKE ("1" adds Aravis's in-process fake camera, "Fake_1",
// to the cameras found; "only" makes it the only one, without searching the network and USB; unset or
// "0" leaves it out) to the interfaces Aravis searches. OCU_ERR_BAD_CONFIGURATION for another value.
OCUSTATUS SelectInterfaces();
// SelectInterfaces, then a search for cameras on them (a second on GigE Vision).
OCUSTATUS RefreshCameraList();

OCUSTATUS ListCameras(std::vector<CameraListing>& cameras);

} // namespace ocusnap::detail::aravis
