// COcuViewerView: the frame's one child, whose client area shows the image and is the camera's output
// window. It keeps no state of its own: everything is the main frame's.
#pragma once

#include <QWidget>

class CMainFrame;

class COcuViewerView : public QWidget {
    Q_OBJECT

public:
    explicit COcuViewerView(QWidget* parent = nullptr);

    // The frame whose state the view shows, or null while the view has none.
    CMainFrame* GetMainFrame() const;

    void OnFilePrint();
    void OnFilePrintPreview();

    // The sensor image, so that a first start opens the window at the image size the screen allows.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
