// CHistogramWnd: the "Histogram" tool window over the live picture. It shows what ImageAids measured:
// the raw frame's histograms per Bayer channel and the displayed brightness's, linear or logarithmic,
// each channel's mean and shares at 0 and 255, the pixel under the mouse, and the sharpness of the image
// or of a dragged rectangle with a short running graph. It stands apart from the main window, whose size
// rule and title it leaves alone, and knows nothing of the frame: the frame feeds it and listens to it.
#pragma once

#include "display/ImageAids.h"

#include <QWidget>
#include <optional>

class QCheckBox;
class QLabel;
class QRadioButton;

class CHistogramWnd : public QWidget {
    Q_OBJECT

public:
    // A tool window of owner, which it stays above.
    explicit CHistogramWnd(QWidget* owner);

    // The histograms, figures and sharpness of the last sample.
    void ShowFigures(const ocu::ImageAids& aids);
    // The pixel under the mouse, or none when the mouse is not over the image.
    void ShowReadout(const std::optional<ocu::PixelReadout>& readout);

    bool LogScale() const;
    bool MarksChecked() const;

signals:
    // "Mark clipped pixels" was switched.
    void MarksToggled(bool on);
    // "Whole Image": the focus rectangle goes, and the whole image is measured again.
    void WholeImageChosen();
    // The window was closed (its close box, Escape, or the frame's menu item).
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Plot;
    class TracePlot;

    Plot* m_rawPlot = nullptr;
    Plot* m_brightnessPlot = nullptr;
    TracePlot* m_tracePlot = nullptr;
    QRadioButton* m_linear = nullptr;
    QRadioButton* m_log = nullptr;
    QLabel* m_figures[ocu::kAidChannels][3] = {};
    QLabel* m_readout = nullptr;
    QLabel* m_sharpness = nullptr;
    QCheckBox* m_marks = nullptr;
};
