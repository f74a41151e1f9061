// The White Balance dialog: measures the channel ratios from the current frame, lets the red and blue ones
// be typed, applies them to the live picture, and keeps or discards them.
#pragma once

#include "imaging/ChannelLuts.h"

#include <QDialog>

class CMainFrame;
class QLineEdit;
class QPushButton;

class CWhiteBalanceDlg : public QDialog {
    Q_OBJECT

public:
    // The dialog works on frame's ratios and tables; it is owned by parent (the frame, when run from the
    // menu), over which it shows.
    explicit CWhiteBalanceDlg(CMainFrame& frame, QWidget* parent = nullptr);

    // OK: the ratios last applied stay in force; the edits must hold numbers.
    void accept() override;
    // Cancel, Escape and the close box: the ratios of the opening come back.
    void reject() override;

    // Ratio: measure, show and apply.
    void OnRatio();
    // Set: the typed ratios go to the frame and are applied.
    void OnSet();

    double m_dRatioEditR = 1.0;
    double m_dRatioEditG = 1.0;
    double m_dRatioEditB = 1.0;
    double m_dRatioSavedR = 1.0;
    double m_dRatioSavedG = 1.0;
    double m_dRatioSavedB = 1.0;
    int m_bApplied = 0;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    // The edits from the edited ratios.
    void ShowRatios();
    // The edited ratios from the edits, red, green, blue, up to the first that holds no number; false then.
    bool ReadRatios();

    CMainFrame& m_frame;
    QLineEdit* m_editR = nullptr;
    QLineEdit* m_editG = nullptr;
    QLineEdit* m_editB = nullptr;
    QPushButton* m_set = nullptr;
    bool m_initialised = false;
    // The channel tables in force when the dialog opened, for a Cancel whose ratios cannot rebuild them.
    ocu::LutBlock m_openingLuts{};
};
