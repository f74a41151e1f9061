#include "dialogs/CameraFeaturesDlg.h"

#include "OcuSnap.h"
#include "camera/DeviceInfo.h"
#include "camera/Exposure.h"
#include "common/DialogFrame.h"
#include "common/DialogUnits.h"
#include "dialogs/DataExchange.h"
#include "frame/MainFrame.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <cstdint>
#include <utility>

using namespace ocu;

namespace {

constexpr std::pair<int, int> kTintLowerRange{1, 1000000};
constexpr std::pair<int, int> kTintUpperRange{1, 10000};
// The edits accept the limits of the cameras that cannot report their own, whatever the bars allow.
constexpr std::pair<int, int> kBlankingRange{kDefaultBlankingRange.hMin, kDefaultBlankingRange.hMax};
static_assert(kDefaultBlankingRange.vMin == kBlankingRange.first &&
              kDefaultBlankingRange.vMax == kBlankingRange.second);

constexpr int kAllChannels = 4;
constexpr const char* kChannelNames[] = {"Red  channel", "Red  channel green", "Blue channel green",
                                         "Blue channel", "All  channel"};
constexpr const char* kAdcLevelNames[] = {"Level 0", "Level 1", "Level 2", "Level 3"};

ScrollCode ScrollCodeOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return ScrollCode::LineLeft;
    case QAbstractSlider::SliderSingleStepAdd:
        return ScrollCode::LineRight;
    case QAbstractSlider::SliderPageStepSub:
        return ScrollCode::PageLeft;
    case QAbstractSlider::SliderPageStepAdd:
        return ScrollCode::PageRight;
    case QAbstractSlider::SliderMove:
        return ScrollCode::ThumbTrack;
    default: // to either end: not a move these bars make
        return ScrollCode::Other;
    }
}

// A dialog's horizontal bar: Left lowers the value and Right raises it, as the bar is drawn and as a
// click on its arrows does. QScrollBar turns its keys round for vertical bars (inverted controls), which
// on a horizontal one swaps Left and Right alone; Page Up and Page Down, Up and Down keep their meaning.
class HorizontalBar : public QScrollBar {
public:
    explicit HorizontalBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
            triggerAction(event->key() == Qt::Key_Left ? SliderSingleStepSub : SliderSingleStepAdd);
            event->accept();
            return;
        }
        QScrollBar::keyPressEvent(event);
    }
};

QLabel* AddLabel(QWidget* parent, const char* text, const QRect& rect, Qt::Alignment alignment) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(rect);
    // Dialog texts sit at the top of their rectangle; the layout was drawn for that.
    label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

} // namespace

CCameraFeaturesDlg::CCameraFeaturesDlg(CMainFrame& frame) : QDialog(&frame), m_frame(frame) {
    LoadDefaults();
    CreateControls();
    OnInitDialog();
}

void CCameraFeaturesDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Camera Features"));
    ocu::UseDialogFrame(*this);
    const DialogUnits du(font());
    setFixedSize(du.X(227), du.Y(201));

    // The lists take their own closed height; the template's height is that of the open list. They only
    // offer their items: a typed text would mean nothing to the camera.
    const auto addList = [&](const char* id, int x, int y, int width) {
        auto* list = new QComboBox(this);
        list->setObjectName(QString::fromLatin1(id));
        list->setEditable(false);
        list->setGeometry(du.X(x), du.Y(y), du.X(width), list->sizeHint().height());
        return list;
    };
    const auto addBar = [&](const char* id, const QRect& rect) {
        QScrollBar* bar = new HorizontalBar(this);
        bar->setObjectName(QString::fromLatin1(id));
        bar->setGeometry(rect);
        bar->setSingleStep(kScrollLineStep);
        bar->setPageStep(kScrollPageStep);
        bar->setFocusPolicy(Qt::StrongFocus);
        // Its menu would move the bar without telling the dialog.
        bar->setContextMenuPolicy(Qt::NoContextMenu);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, bar](int action) { OnHScroll(bar, ScrollCodeOf(action)); });
        connect(bar, &QAbstractSlider::sliderReleased, this,
                [this, bar] { OnHScroll(bar, ScrollCode::ThumbPosition); });
        return bar;
    };
    const auto addButton = [&](const char* id, const char* text, int x) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        button->setObjectName(QString::fromLatin1(id));
        button->setGeometry(du.Rect(x, 179, 42, 14));
        return button;
    };
    const auto addEdit = [&](const char* id, const QRect& rect) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(id));
        edit->setGeometry(rect);
        return edit;
    };

    // In the template's order, which is the tab order.
    m_cbADC = addList("1039", 62, 11, 65);
    m_cbChannel = addList("1038", 15, 77, 86);
    m_sbGain = addBar("1021", du.Rect(106, 78, 73, 10));
    QPushButton* ok = addButton("IDOK", "OK", 29);
    QPushButton* cancel = addButton("IDCANCEL", "Cancel", 71);
    QPushButton* reset = addButton("4", "Reset", 113);
    QPushButton* defaults = addButton("5", "Default", 155);
    AddGroupBox(*this, QStringLiteral("Gain"), du.Rect(10, 67, 208, 29));
    AddLabel(this, "Exposure Time", du.Rect(13, 44, 59, 12), Qt::AlignRight);
    AddGroupBox(*this, QStringLiteral("Shutter"), du.Rect(10, 31, 208, 31));
    AddGroupBox(*this, QStringLiteral("ADC Control"), du.Rect(9, 3, 208, 26));
    m_stGain = AddLabel(this, "", du.Rect(185, 77, 28, 12), Qt::AlignHCenter);
    m_stGain->setObjectName(QStringLiteral("1022"));
    m_stGain->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    AddLabel(this, "ADC Bits", du.Rect(13, 11, 44, 12), Qt::AlignRight);
    m_editTintUpper = addEdit("1042", du.Rect(83, 43, 36, 14));
    m_editTintLower = addEdit("1043", du.Rect(133, 43, 79, 14));
    AddLabel(this, "/", du.Rect(122, 46, 8, 8), Qt::AlignHCenter);
    AddGroupBox(*this, QStringLiteral("HBlanking"), du.Rect(9, 102, 207, 28));
    m_sbHBlanking = addBar("1023", du.Rect(15, 113, 146, 10));
    m_editHBlanking = addEdit("1044", du.Rect(171, 110, 40, 14));
    AddGroupBox(*this, QStringLiteral("VBlanking"), du.Rect(9, 134, 207, 28));
    m_sbVBlanking = addBar("1024", du.Rect(15, 145, 146, 10));
    m_editVBlanking = addEdit("1045", du.Rect(171, 142, 40, 14));

    QWidget* const tabOrder[] = {m_cbADC,         m_cbChannel,   m_sbGain,        ok,
                                 cancel,          reset,         defaults,        m_editTintUpper,
                                 m_editTintLower, m_sbHBlanking, m_editHBlanking, m_sbVBlanking,
                                 m_editVBlanking};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Enter means OK, as in every dialog, unless a button has the focus.
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CCameraFeaturesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCameraFeaturesDlg::reject);
    connect(reset, &QPushButton::clicked, this, &CCameraFeaturesDlg::OnReset);
    connect(defaults, &QPushButton::clicked, this, &CCameraFeaturesDlg::OnDefault);
    // The user's choices and typing only: values the dialog puts into its controls notify nobody.
    connect(m_cbADC, &QComboBox::activated, this, &CCameraFeaturesDlg::OnSelchangeADC);
    connect(m_cbChannel, &QComboBox::activated, this, &CCameraFeaturesDlg::OnSelchangeChannel);
    connect(m_editTintUpper, &QLineEdit::textEdited, this, &CCameraFeaturesDlg::OnChangeTintUpper);
    connect(m_editTintLower, &QLineEdit::textEdited, this, &CCameraFeaturesDlg::OnChangeTintLower);
    connect(m_editHBlanking, &QLineEdit::textEdited, this, &CCameraFeaturesDlg::OnChangeHBlanking);
    connect(m_editVBlanking, &QLineEdit::textEdited, this, &CCameraFeaturesDlg::OnChangeVBlanking);
}

void CCameraFeaturesDlg::OnInitDialog() {
    UpdateData(false);
    m_sbGain->setRange(0, OCU_GAIN_MAX);
    for (const char* name : kChannelNames)
        m_cbChannel->addItem(QString::fromLatin1(name));
    for (const char* name : kAdcLevelNames)
        m_cbADC->addItem(QString::fromLatin1(name));
    m_nChannel = kAllChannels;

    const BlankingRange bars = QueryBlankingRange(m_frame.m_hDevice, m_frame.m_bBlankingQuery != 0);
    m_sbVBlanking->setRange(bars.vMin, bars.vMax);
    m_sbHBlanking->setRange(bars.hMin, bars.hMax);

    m_nInitHBlanking = m_frame.m_nHBlanking;
    m_nInitVBlanking = m_frame.m_nVBlanking;
    m_nInitTintUpper = m_frame.m_nTintUpper;
    m_nInitTintLower = m_frame.m_nTintLower;
    LoadFromViewer();
    ShowValues();
}

bool CCameraFeaturesDlg::UpdateData(bool save) {
    if (!save) {
        m_stGain->setText(m_strGain);
        WriteIntegerField(*m_editTintLower, m_nTintLower);
        WriteIntegerField(*m_editTintUpper, m_nTintUpper);
        WriteIntegerField(*m_editHBlanking, m_nHBlanking);
        WriteIntegerField(*m_editVBlanking, m_nVBlanking);
        return true;
    }
    m_strGain = m_stGain->text();
    return ReadIntegerField(*m_editTintLower, m_nTintLower, kTintLowerRange) &&
           ReadIntegerField(*m_editTintUpper, m_nTintUpper, kTintUpperRange) &&
           ReadIntegerField(*m_editHBlanking, m_nHBlanking, kBlankingRange) &&
           ReadIntegerField(*m_editVBlanking, m_nVBlanking, kBlankingRange);
}

void CCameraFeaturesDlg::LoadFromViewer() {
    m_nADCLevel = m_frame.m_nADCLevel;
    m_nHBlanking = m_nInitHBlanking;
    m_nVBlanking = m_nInitVBlanking;
    m_nTintUpper = m_nInitTintUpper;
    m_nTintLower = m_nInitTintLower;
    int64_t sum = 0;
    for (size_t i = 0; i < 4; ++i) {
        m_nGain[i] = m_frame.m_nGain[i];
        sum += m_nGain[i];
    }
    m_nGain[kAllChannels] = static_cast<int>(sum / 4);
    // Equal gains open on all channels; so do unequal ones whose average happens to be the red gain.
    m_nChannel = m_nGain[kAllChannels] == m_nGain[0] ? kAllChannels : 0;
}

void CCameraFeaturesDlg::LoadDefaults() {
    m_nTintLower = 1000;
    m_nTintUpper = 60;
    m_nADCLevel = 2;
    m_nGain.fill(8);
    m_nChannel = kAllChannels;
    m_nHBlanking = 0;
    m_nVBlanking = 0;
}

void CCameraFeaturesDlg::ShowValues() {
    const int gain = m_nGain[static_cast<size_t>(m_nChannel)];
    m_sbGain->setValue(gain);
    m_strGain = QString::number(gain);
    m_cbChannel->setCurrentIndex(m_nChannel);
    m_cbADC->setCurrentIndex(m_nADCLevel);
    m_sbVBlanking->setValue(m_nVBlanking);
    m_sbHBlanking->setValue(m_nHBlanking);
    UpdateData(false);
}

void CCameraFeaturesDlg::ApplyToDevice() {
    m_frame.m_nTintUpper = m_nTintUpper;
    m_frame.m_nTintLower = m_nTintLower;
    m_frame.ApplyBlanking(m_nHBlanking, m_nVBlanking);
    m_frame.ApplyExposure(m_frame.RegionWidth(), m_nTintUpper, m_nTintLower);
    if (m_frame.m_hDevice != nullptr)
        OcuADCControl(m_frame.m_hDevice, 0, m_nADCLevel);
    for (int i = 0; i < 4; ++i)
        SendGain(OCU_GAIN_RED + i, GainOf(i));
}

int CCameraFeaturesDlg::GainOf(int channel) const {
    return m_nGain[static_cast<size_t>(m_nChannel == kAllChannels ? kAllChannels : channel)];
}

void CCameraFeaturesDlg::SendGain(int channelCode, int gain) {
    if (m_frame.m_hDevice != nullptr)
        OcuAGCControl(m_frame.m_hDevice, static_cast<uint8_t>(channelCode), gain);
}

void CCameraFeaturesDlg::SendChannelGains() {
    if (m_nChannel != kAllChannels) {
        SendGain(OCU_GAIN_RED + m_nChannel, m_nGain[static_cast<size_t>(m_nChannel)]);
        return;
    }
    for (int code = OCU_GAIN_RED; code <= OCU_GAIN_BLUE; ++code)
        SendGain(code, m_nGain[kAllChannels]);
}

void CCameraFeaturesDlg::OnSelchangeADC(int index) {
    m_nADCLevel = index;
    if (m_frame.m_hDevice != nullptr)
        OcuADCControl(m_frame.m_hDevice, 0, m_nADCLevel);
}

void CCameraFeaturesDlg::OnSelchangeChannel(int index) {
    m_nChannel = index;
    const int gain = m_nGain[static_cast<size_t>(m_nChannel)];
    m_sbGain->setValue(gain);
    m_strGain = QString::number(gain);
    UpdateData(false);
    SendChannelGains();
}

// A live edit reads its own field alone, so that what the camera runs with, what the dialog shows and
// what OK keeps never part: a field that passes reaches the camera at its own edit, whatever the other
// fields hold, and the others go with the values the camera already has. A field that fails shows its
// message and sends nothing, so the camera keeps its last good value: half-typed numbers never reach it
// (a denominator typed as 0 on its way to 0.5, or an emptied one, would ask for the longest exposure the
// camera has). An out-of-range value stays in its member, as the exchange leaves it, and OK refuses it.
void CCameraFeaturesDlg::OnChangeTintUpper() {
    if (!ReadIntegerField(*m_editTintUpper, m_nTintUpper, kTintUpperRange))
        return;
    m_frame.m_nTintUpper = m_nTintUpper;
    m_frame.ApplyExposure(m_frame.RegionWidth(), m_frame.m_nTintUpper, m_frame.m_nTintLower);
}

void CCameraFeaturesDlg::OnChangeTintLower() {
    if (!ReadIntegerField(*m_editTintLower, m_nTintLower, kTintLowerRange))
        return;
    m_frame.m_nTintLower = m_nTintLower;
    m_frame.ApplyExposure(m_frame.RegionWidth(), m_frame.m_nTintUpper, m_frame.m_nTintLower);
}

void CCameraFeaturesDlg::OnChangeHBlanking() {
    if (!ReadIntegerField(*m_editHBlanking, m_nHBlanking, kBlankingRange))
        return;
    m_sbHBlanking->setValue(m_nHBlanking);
    m_frame.ApplyBlanking(m_nHBlanking, m_frame.m_nVBlanking);
}

void CCameraFeaturesDlg::OnChangeVBlanking() {
    if (!ReadIntegerField(*m_editVBlanking, m_nVBlanking, kBlankingRange))
        return;
    m_sbVBlanking->setValue(m_nVBlanking);
    m_frame.ApplyBlanking(m_frame.m_nHBlanking, m_nVBlanking);
}

void CCameraFeaturesDlg::OnHScroll(QScrollBar* bar, ScrollCode code) {
    // Called while the bar carries out the user's action: its value is still the old position, its
    // slider position the one the action reports.
    bar->setValue(ScrollPosition(code, bar->value(), bar->sliderPosition(), bar->minimum(), bar->maximum()));
    const int position = bar->value();
    if (bar == m_sbGain) {
        m_nGain[static_cast<size_t>(m_nChannel)] = position;
        m_strGain = QString::number(position);
        SendChannelGains();
    } else if (bar == m_sbHBlanking) {
        m_nHBlanking = position;
        m_frame.ApplyBlanking(position, m_frame.m_nVBlanking);
    } else if (bar == m_sbVBlanking) {
        m_nVBlanking = position;
        m_frame.ApplyBlanking(m_frame.m_nHBlanking, position);
    }
    UpdateData(false);
}

void CCameraFeaturesDlg::accept() {
    // The viewer takes the values before the fields are checked. Should a field fail, the dialog stays
    // open and the viewer gets back what it held, so that Cancel still finds the opening gains and ADC
    // level there.
    const int tintLower = m_frame.m_nTintLower;
    const int tintUpper = m_frame.m_nTintUpper;
    const int adcLevel = m_frame.m_nADCLevel;
    const std::array<int, 4> gains = m_frame.m_nGain;
    m_frame.m_nTintLower = m_nTintLower;
    m_frame.m_nTintUpper = m_nTintUpper;
    m_frame.m_nADCLevel = m_nADCLevel;
    for (int i = 0; i < 4; ++i)
        m_frame.m_nGain[static_cast<size_t>(i)] = GainOf(i);
    if (!UpdateData(true)) {
        m_frame.m_nTintLower = tintLower;
        m_frame.m_nTintUpper = tintUpper;
        m_frame.m_nADCLevel = adcLevel;
        m_frame.m_nGain = gains;
        return;
    }
    QDialog::accept();
}

void CCameraFeaturesDlg::reject() {
    LoadFromViewer();
    ApplyToDevice();
    QDialog::reject();
}

void CCameraFeaturesDlg::OnReset() {
    LoadFromViewer();
    ShowValues();
    ApplyToDevice();
}

void CCameraFeaturesDlg::OnDefault() {
    LoadDefaults();
    ShowValues();
    ApplyToDevice();
}
