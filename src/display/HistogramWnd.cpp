#include "display/HistogramWnd.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

using namespace ocu;

namespace {

// The curves' colours: red, the two greens told apart, blue, and the brightness in gray.
constexpr std::array<QRgb, kAidChannels> kCurveColours{0xFFD62728, 0xFF2CA02C, 0xFF17BECF, 0xFF1F5FD0,
                                                       0xFF808080};

QString Percent(double share) {
    return QString::asprintf("%.3f %%", 100.0 * share);
}

// A plot's background and frame; returns the area inside the frame, where the plot draws.
QRectF PaintFrame(QPainter& p, const QWidget& plot) {
    const QRectF area = QRectF(plot.rect()).adjusted(1, 1, -1, -1);
    p.fillRect(plot.rect(), plot.palette().base());
    p.setPen(plot.palette().mid().color());
    p.drawRect(area);
    return area;
}

} // namespace

// Histograms of some channels over the 256 levels, each a curve; the brightness is filled.
class CHistogramWnd::Plot : public QWidget {
public:
    Plot(std::vector<int> channels, QWidget* parent) : QWidget(parent), m_channels(std::move(channels)) {
        setMinimumSize(256 + 2, 110);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void SetData(const std::array<std::array<uint32_t, 256>, kAidChannels>& histograms, bool shown,
                 bool log) {
        m_histograms = histograms;
        m_shown = shown;
        m_log = log;
        update();
    }

    void SetLog(bool log) {
        m_log = log;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRectF area = PaintFrame(p, *this);
        if (!m_shown)
            return;
        // Linear: the tallest level inside the range is the full height, so that a spike of clipped pixels
        // at either end, which the figures count, does not flatten the rest. Logarithmic: every count shows.
        double top = 0;
        for (const int c : m_channels)
            for (int level = 0; level < 256; ++level)
                if (m_log || (level > 0 && level < 255))
                    top = std::max(top,
                                   Height(m_histograms[static_cast<size_t>(c)][static_cast<size_t>(level)]));
        if (top <= 0)
            return;
        // Aliased lines and solid bars: the window repaints ten times a second beside the live picture.
        for (const int c : m_channels) {
            const auto& h = m_histograms[static_cast<size_t>(c)];
            const QColor colour = QColor::fromRgba(kCurveColours[static_cast<size_t>(c)]);
            QPolygonF curve(256);
            for (int level = 0; level < 256; ++level) {
                const double x = area.left() + area.width() * (level + 0.5) / 256.0;
                const double y = area.bottom() -
                                 area.height() * std::min(1.0, Height(h[static_cast<size_t>(level)]) / top);
                curve[level] = QPointF(x, y);
                if (c == kAidBrightness) {
                    const double left = area.left() + area.width() * level / 256.0;
                    const double right = area.left() + area.width() * (level + 1) / 256.0;
                    p.fillRect(QRectF(left, y, right - left, area.bottom() - y), colour.lighter(150));
                }
            }
            p.setPen(QPen(colour, 0));
            p.drawPolyline(curve);
        }
    }

private:
    double Height(uint32_t count) const { return m_log ? std::log1p(static_cast<double>(count)) : count; }

    std::vector<int> m_channels;
    std::array<std::array<uint32_t, 256>, kAidChannels> m_histograms{};
    bool m_shown = false;
    bool m_log = false;
};

// The sharpness of the last samples as a line, with the peak marked: turning a lens, the line rises to
// the peak and falls past it.
class CHistogramWnd::TracePlot : public QWidget {
public:
    explicit TracePlot(QWidget* parent) : QWidget(parent) {
        setMinimumSize(200, 48);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void SetTrace(const SharpnessTrace& trace) {
        m_trace = trace;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRectF area = PaintFrame(p, *this);
        const double peak = m_trace.Peak();
        if (m_trace.Count() == 0 || peak <= 0)
            return;
        const double top = 1.1 * peak;
        const auto yOf = [&](double v) { return area.bottom() - area.height() * v / top; };
        p.setPen(QPen(QColor(0xC0, 0x80, 0x00), 1, Qt::DashLine));
        p.drawLine(QPointF(area.left(), yOf(peak)), QPointF(area.right(), yOf(peak)));
        QPolygonF line(m_trace.Count());
        for (int i = 0; i < m_trace.Count(); ++i)
            line[i] =
                QPointF(area.left() + area.width() * (i + 0.5) / SharpnessTrace::kLength, yOf(m_trace.At(i)));
        p.setPen(QPen(palette().text().color(), 0));
        p.drawPolyline(line);
    }

private:
    SharpnessTrace m_trace;
};

CHistogramWnd::CHistogramWnd(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Histogram"));
    setObjectName(QStringLiteral("Histogram"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Raw frame, before conversion: R, Gr, Gb, B"), this));
    m_rawPlot = new Plot({kAidR, kAidGr, kAidGb, kAidB}, this);
    m_rawPlot->setObjectName(QStringLiteral("rawPlot"));
    layout->addWidget(m_rawPlot, 2);
    layout->addWidget(new QLabel(QStringLiteral("Displayed brightness"), this));
    m_brightnessPlot = new Plot({kAidBrightness}, this);
    m_brightnessPlot->setObjectName(QStringLiteral("brightnessPlot"));
    layout->addWidget(m_brightnessPlot, 1);

    auto* scale = new QHBoxLayout;
    m_linear = new QRadioButton(QStringLiteral("&Linear"), this);
    m_linear->setObjectName(QStringLiteral("linear"));
    m_log = new QRadioButton(QStringLiteral("L&ogarithmic"), this);
    m_log->setObjectName(QStringLiteral("logarithmic"));
    m_linear->setChecked(true);
    auto* scaleGroup = new QButtonGroup(this);
    scaleGroup->addButton(m_linear);
    scaleGroup->addButton(m_log);
    scale->addWidget(new QLabel(QStringLiteral("Scale:"), this));
    scale->addWidget(m_linear);
    scale->addWidget(m_log);
    scale->addStretch();
    layout->addLayout(scale);

    auto* figures = new QGridLayout;
    const char* headings[] = {"Mean", "At 0", "At 255"};
    for (int column = 0; column < 3; ++column) {
        auto* heading = new QLabel(QString::fromLatin1(headings[column]), this);
        heading->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        figures->addWidget(heading, 0, column + 1);
    }
    for (int c = 0; c < kAidChannels; ++c) {
        auto* name = new QLabel(QString::fromLatin1(AidChannelName(c)), this);
        QPalette coloured = name->palette();
        coloured.setColor(QPalette::WindowText, QColor::fromRgba(kCurveColours[static_cast<size_t>(c)]));
        name->setPalette(coloured);
        figures->addWidget(name, c + 1, 0);
        for (int column = 0; column < 3; ++column) {
            auto* value = new QLabel(QStringLiteral("-"), this);
            value->setObjectName(QStringLiteral("%1 %2").arg(QString::fromLatin1(AidChannelName(c)),
                                                             QString::fromLatin1(headings[column])));
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            figures->addWidget(value, c + 1, column + 1);
            m_figures[c][column] = value;
        }
    }
    layout->addLayout(figures);

    m_marks = new QCheckBox(QStringLiteral("&Mark clipped pixels: red at 255, blue at 0"), this);
    m_marks->setObjectName(QStringLiteral("marks"));
    layout->addWidget(m_marks);

    // Texts that change with every sample or mouse move never resize the window.
    const auto steady = [](QLabel* label) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    };
    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("readout"));
    steady(m_readout);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_readout);
    ShowReadout(std::nullopt);

    m_sharpness = new QLabel(this);
    m_sharpness->setObjectName(QStringLiteral("sharpness"));
    steady(m_sharpness);
    layout->addWidget(m_sharpness);
    auto* focus = new QHBoxLayout;
    m_tracePlot = new TracePlot(this);
    m_tracePlot->setObjectName(QStringLiteral("sharpnessTrace"));
    focus->addWidget(m_tracePlot, 1);
    auto* whole = new QPushButton(QStringLiteral("&Whole Image"), this);
    whole->setObjectName(QStringLiteral("wholeImage"));
    whole->setAutoDefault(false);
    focus->addWidget(whole, 0, Qt::AlignBottom);
    layout->addLayout(focus);
    auto* hint =
        new QLabel(QStringLiteral("Drag over the picture to measure the sharpness of a part of it."), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    connect(m_marks, &QCheckBox::toggled, this, &CHistogramWnd::MarksToggled);
    connect(whole, &QPushButton::clicked, this, &CHistogramWnd::WholeImageChosen);
    // A new scale redraws the curves at once, also while no frames arrive.
    connect(scaleGroup, &QButtonGroup::buttonToggled, this, [this] {
        for (Plot* plot : {m_rawPlot, m_brightnessPlot})
            plot->SetLog(LogScale());
    });
}

bool CHistogramWnd::LogScale() const {
    return m_log->isChecked();
}

bool CHistogramWnd::MarksChecked() const {
    return m_marks->isChecked();
}

void CHistogramWnd::ShowFigures(const ImageAids& aids) {
    m_rawPlot->SetData(aids.Histograms(), aids.HasRaw(), LogScale());
    m_brightnessPlot->SetData(aids.Histograms(), aids.HasSample(), LogScale());
    for (int c = 0; c < kAidChannels; ++c) {
        const bool known = c == kAidBrightness ? aids.HasSample() : aids.HasRaw();
        const ChannelFigures& f = aids.Figures()[static_cast<size_t>(c)];
        m_figures[c][0]->setText(known ? QString::number(f.mean, 'f', 1) : QStringLiteral("-"));
        m_figures[c][1]->setText(known ? Percent(f.at0) : QStringLiteral("-"));
        m_figures[c][2]->setText(known ? Percent(f.at255) : QStringLiteral("-"));
    }
    const SharpnessTrace& trace = aids.Trace();
    if (!aids.HasRaw() || trace.Count() == 0) {
        m_sharpness->setText(QStringLiteral("Sharpness -\nno raw frame to measure"));
    } else {
        const Rect& r = aids.MeasuredRect();
        const QString where =
            aids.FocusRect().Width() > 0
                ? QStringLiteral("of %1 x %2 at %3, %4").arg(r.Width()).arg(r.Height()).arg(r.left).arg(r.top)
                : QStringLiteral("of the whole image");
        m_sharpness->setText(
            QStringLiteral("Sharpness %1, peak %2\n%3")
                .arg(QString::number(trace.Latest(), 'f', 1), QString::number(trace.Peak(), 'f', 1), where));
    }
    m_tracePlot->SetTrace(trace);
}

void CHistogramWnd::ShowReadout(const std::optional<PixelReadout>& readout) {
    if (!readout) {
        m_readout->setText(QStringLiteral("Pixel: move the mouse over the picture\n "));
        return;
    }
    const QString raw = readout->raw ? QString::number(*readout->raw) : QStringLiteral("-");
    m_readout->setText(
        QStringLiteral("Pixel x %1, y %2 on the sensor: raw %3 (%4)\nDisplayed R %5, G %6, B %7")
            .arg(readout->sensorX)
            .arg(readout->sensorY)
            .arg(raw, QString::fromLatin1(AidChannelName(readout->channel)))
            .arg(readout->r)
            .arg(readout->g)
            .arg(readout->b));
}

void CHistogramWnd::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit Closed();
}

void CHistogramWnd::keyPressEvent(QKeyEvent* event) {
    // Escape closes the tool window, as it closes a dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
