// COcuViewerView: the frame's one child, whose client area shows the image and is the camera's output
// window. Everything it shows is the main frame's state.
#pragma once

#include <QRect>
#include <QWidget>

class CMainFrame;
class QPainter;
class QPrinter;

class COcuViewerView : public QWidget {
    Q_OBJECT

public:
    explicit COcuViewerView(QWidget* parent = nullptr);

    // The frame whose state the view shows, or null while the view has none.
    CMainFrame* GetMainFrame() const;

    // Paints the image that the frame has just drawn, at once. While frames arrive this is the only way
    // the image reaches the screen: the view's own repaints draw nothing then.
    void PaintFrame();

    // Draws the current image with its top-left corner at the origin: on the screen 1:1, on a printer with
    // each image pixel 1/96 inch wide and high. Returns the area drawn, empty when nothing was drawn (no
    // image, or frames are arriving).
    QRect OnDraw(QPainter& painter, bool printing);

    // Prints the current image on one page.
    void PrintImage(QPrinter& printer);

    void OnFilePrint();
    // Prints on the printer as Print Setup left it, without asking.
    void OnFilePrintDirect();
    void OnFilePrintPreview();

    // The sensor image, so that a first start opens the window at the image size the screen allows.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // With the Histogram window open: the readout follows the mouse, and a drag marks a focus rectangle.
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    // The print dialog; true to print.
    bool OnPreparePrinting(QPrinter& printer);
    // After the preview the frame takes its region and the camera's output window from the view again.
    void OnEndPrintPreview();

private:
    QPrinter& Printer();
    // The image pixel under a point of the view: one device pixel per image pixel.
    QPoint ImagePixel(const QPointF& position) const;

    bool m_bPaintingFrame = false;
};
