// The Camera Features dialog: ADC level, exposure time, the four channel gains and the blanking, each
// sent to the camera the moment the user changes it, so that the live picture shows its effect. OK keeps
// the values; Cancel (also Escape and the close box) and Reset put back what the camera and the viewer
// had when the dialog opened; Default loads the factory values.
//
// Controls carry their resource ids as object names: the number in decimal ("1039"), except the two
// buttons the framework itself answers, "IDOK" (1) and "IDCANCEL" (2). Labels and group boxes have no id
// and no name.
#pragma once

#include "dialogs/ScrollCodes.h"

#include <QDialog>
#include <QString>
#include <array>

class CMainFrame;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;

class CCameraFeaturesDlg : public QDialog {
    Q_OBJECT

public:
    // The dialog for the viewer's frame, which owns it while it runs. It is ready when constructed: the
    // controls are laid out and show the viewer's current values. Nothing is sent to the camera until the
    // user changes something.
    explicit CCameraFeaturesDlg(CMainFrame& frame);

    // Reads the controls into the members (save = true), validating each, or shows the members in the
    // controls. Reading stops at the first field that fails, after its message; false then.
    bool UpdateData(bool save);

    // The values the viewer had when the dialog opened: the frame's gains and ADC level, the opening
    // exposure and blanking.
    void LoadFromViewer();
    void LoadDefaults();
    // Bars and lists from the members, then the members into the controls.
    void ShowValues();
    // The dialog's values to the camera, and the exposure and blanking to the viewer's state.
    void ApplyToDevice();

    // OK: the viewer keeps the values, then the fields are validated; a bad field keeps the dialog open.
    void accept() override;
    // Cancel, Escape and the close box: camera and viewer back to the opening values, then closed.
    void reject() override;
    void OnReset();
    void OnDefault();

    // --- Controls and values, in the layout the dialog has always had ------------------------------
    QScrollBar* m_sbVBlanking = nullptr;
    QScrollBar* m_sbHBlanking = nullptr;
    QComboBox* m_cbADC = nullptr;
    QComboBox* m_cbChannel = nullptr;
    QScrollBar* m_sbGain = nullptr;
    QString m_strGain;
    int m_nTintLower = 1000;
    int m_nTintUpper = 60;
    int m_nHBlanking = 0;
    int m_nVBlanking = 0;
    int m_nInitTintUpper = 0;
    int m_nInitTintLower = 0;
    int m_nADCLevel = 0;
    std::array<int, 5> m_nGain{}; // red, green on red rows, green on blue rows, blue, all channels
    int m_nChannel = 0;           // 0..3 one channel, 4 all of them
    int m_nInitVBlanking = 0;
    int m_nInitHBlanking = 0;

private:
    void CreateControls();
    void OnInitDialog();

    void OnSelchangeADC(int index);
    void OnSelchangeChannel(int index);
    // The user's typing in one edit: that field alone is read and, when it passes, sent.
    void OnChangeTintUpper();
    void OnChangeTintLower();
    void OnChangeHBlanking();
    void OnChangeVBlanking();
    // A user's scroll action on one of the three bars.
    void OnHScroll(QScrollBar* bar, ocu::ScrollCode code);

    // The gain that channel 0..3 gets: its own, or the all-channel value when all are selected.
    int GainOf(int channel) const;
    // The gains of the selected channel to the camera: that channel's, or the all-channel value to all four.
    void SendChannelGains();
    void SendGain(int channelCode, int gain);

    CMainFrame& m_frame;
    QLineEdit* m_editTintUpper = nullptr; // 1042
    QLineEdit* m_editTintLower = nullptr; // 1043
    QLineEdit* m_editHBlanking = nullptr; // 1044
    QLineEdit* m_editVBlanking = nullptr; // 1045
    QLabel* m_stGain = nullptr;           // 1022
};
