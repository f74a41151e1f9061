// The frame's settings: read once at creation, written once at close.
#include "camera/CameraChoice.h"
#include "frame/MainFrame.h"
#include "frame/Settings.h"

using namespace ocu;

namespace {

// Pairs each stored setting with the frame member it feeds, for both directions of the transfer.
template <typename Transfer>
void PairSettings(StoredSettings& s, CMainFrame& f, Transfer transfer) {
    transfer(s.nResolution, f.m_nResolution);
    transfer(s.nSnapMode, f.m_nSnapMode);
    transfer(s.nImageMode, f.m_nImageMode);
    transfer(s.nBayerLayout, f.m_nBayerLayout);
    transfer(s.nTintUpper, f.m_nTintUpper);
    transfer(s.nTintLower, f.m_nTintLower);
    transfer(s.nADCLevel, f.m_nADCLevel);
    transfer(s.nGain, f.m_nGain);
    transfer(s.dRatioR, f.m_dRatioR);
    transfer(s.dRatioG, f.m_dRatioG);
    transfer(s.dRatioB, f.m_dRatioB);
    transfer(s.nHBlanking, f.m_nHBlanking);
    transfer(s.nVBlanking, f.m_nVBlanking);
    transfer(s.nSnapSpeed, f.m_nSnapSpeed);
}

} // namespace

void CMainFrame::LoadSettings() {
    const auto ini = IniFile::Load(SettingsFilePath());
    StoredSettings s = ReadSettings(ini ? *ini : IniFile());
    PairSettings(s, *this, [](const auto& stored, auto& member) { member = stored; });
    m_bLayoutStored = ini && ini->GetString(kSettingsSection, "BayerLayout").has_value();
    m_strCameraId = ini ? ReadCameraChoice(*ini) : std::string();
}

void CMainFrame::SaveSettings() {
    StoredSettings s;
    PairSettings(s, *this, [](auto& stored, const auto& member) { stored = member; });

    // A file that exists but cannot be read is left alone rather than replaced by what was not seen.
    const std::string path = SettingsFilePath();
    auto ini = IniFile::Load(path);
    if (!ini)
        return;
    WriteSettings(*ini, s);
    // In a section of its own, after the twenty keys.
    WriteCameraChoice(*ini, m_strCameraId);
    // A file that cannot be written keeps what it held; the next run reads that.
    ini->Save(path);
}
