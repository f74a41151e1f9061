#include "dialogs/WhiteBalanceDlg.h"

#include "common/DialogFrame.h"
#include "common/DialogUnits.h"
#include "dialogs/DataExchange.h"
#include "frame/MainFrame.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CWhiteBalanceDlg::CWhiteBalanceDlg(CMainFrame& frame, QWidget* parent) : QDialog(parent), m_frame(frame) {
    setWindowTitle(QStringLiteral("White Balance"));
    ocu::UseDialogFrame(*this);
    const ocu::DialogUnits du(font());
    setFixedSize(du.X(183), du.Y(111));

    // Created first so that it lies beneath the controls it frames.
    ocu::AddGroupBox(*this, QStringLiteral("Ratio"), du.Rect(13, 10, 157, 69));

    // The controls in their tab order.
    const auto edit = [&](const char* id, int y) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(id));
        e->setGeometry(du.Rect(73, y, 89, 13));
        return e;
    };
    m_editR = edit("1031", 21);
    m_editG = edit("1032", 40);
    m_editB = edit("1033", 59);
    m_editG->setReadOnly(true);

    // No button is the default, and none becomes it with the focus: Enter in an edit presses nothing.
    const auto button = [&](const char* id, const char* text, int x) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QLatin1String(id));
        b->setGeometry(du.Rect(x, 85, 38, 14));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* ok = button("IDOK", "Ok", 8);
    QPushButton* cancel = button("IDCANCEL", "Cancel", 50);
    QPushButton* ratio = button("4", "Ratio", 92);
    const auto label = [&](const char* text, int y) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setGeometry(du.Rect(21, y, 46, 13));
    };
    label("Red ratio", 21);
    label("Green ratio", 40);
    label("Blue ratio", 59);
    m_set = button("5", "Set", 134);

    connect(ok, &QPushButton::clicked, this, &CWhiteBalanceDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CWhiteBalanceDlg::reject);
    connect(ratio, &QPushButton::clicked, this, &CWhiteBalanceDlg::OnRatio);
    connect(m_set, &QPushButton::clicked, this, &CWhiteBalanceDlg::OnSet);
    // Set becomes available once a ratio that can be typed is about to be edited.
    m_editR->installEventFilter(this);
    m_editB->installEventFilter(this);
}

void CWhiteBalanceDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CWhiteBalanceDlg::OnInitDialog() {
    m_dRatioEditR = m_dRatioSavedR = m_frame.m_dRatioR;
    m_dRatioEditG = m_dRatioSavedG = m_frame.m_dRatioG;
    m_dRatioEditB = m_dRatioSavedB = m_frame.m_dRatioB;
    m_openingLuts = m_frame.m_Lut;
    ShowRatios();
    m_set->setEnabled(false);
    // The first tab stop, the red edit, takes the focus when the dialog shows, and with it enables Set.
    m_editR->setFocus();
}

bool CWhiteBalanceDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && (watched == m_editR || watched == m_editB))
        m_set->setEnabled(true);
    return QDialog::eventFilter(watched, event);
}

void CWhiteBalanceDlg::ShowRatios() {
    ocu::WriteNumberField(*m_editR, m_dRatioEditR);
    ocu::WriteNumberField(*m_editG, m_dRatioEditG);
    ocu::WriteNumberField(*m_editB, m_dRatioEditB);
}

bool CWhiteBalanceDlg::ReadRatios() {
    return ocu::ReadNumberField(*m_editR, m_dRatioEditR) && ocu::ReadNumberField(*m_editG, m_dRatioEditG) &&
           ocu::ReadNumberField(*m_editB, m_dRatioEditB);
}

void CWhiteBalanceDlg::OnRatio() {
    m_frame.OnWbMeasure();
    m_dRatioEditR = m_frame.m_dRatioR;
    m_dRatioEditG = m_frame.m_dRatioG;
    m_dRatioEditB = m_frame.m_dRatioB;
    m_frame.BuildChannelLuts(m_dRatioEditR, m_dRatioEditG, m_dRatioEditB);
    m_bApplied = 1;
    m_set->setEnabled(false);
    ShowRatios();
}

void CWhiteBalanceDlg::OnSet() {
    // A text that is no number stops the reading there; what was read before it is applied all the same.
    ReadRatios();
    m_frame.m_dRatioR = m_dRatioEditR;
    m_frame.m_dRatioG = m_dRatioEditG;
    m_frame.m_dRatioB = m_dRatioEditB;
    m_frame.BuildChannelLuts(m_dRatioEditR, m_dRatioEditG, m_dRatioEditB);
    m_bApplied = 1;
}

void CWhiteBalanceDlg::accept() {
    // Typed values that were not Set stay out of the picture: the tables go back to the ratios last
    // applied, which are also the frame's.
    if (m_bApplied)
        m_frame.BuildChannelLuts(m_dRatioEditR, m_dRatioEditG, m_dRatioEditB);
    const double r = m_dRatioEditR;
    const double g = m_dRatioEditG;
    const double b = m_dRatioEditB;
    if (!ReadRatios()) {
        // The dialog stays open; a later OK must still find the ratios last applied, not the half-read
        // ones, or the tables would part from the frame's ratios.
        m_dRatioEditR = r;
        m_dRatioEditG = g;
        m_dRatioEditB = b;
        return;
    }
    QDialog::accept();
}

void CWhiteBalanceDlg::reject() {
    m_frame.m_dRatioR = m_dRatioSavedR;
    m_frame.m_dRatioG = m_dRatioSavedG;
    m_frame.m_dRatioB = m_dRatioSavedB;
    if (!m_frame.BuildChannelLuts(m_dRatioSavedR, m_dRatioSavedG, m_dRatioSavedB)) {
        // Ratios that no table can be built from (a first run's zeros) would leave the measured balance on
        // the screen after a Cancel: the tables of the opening come back instead.
        for (const int table : {ocu::kLutRed, ocu::kLutGreen, ocu::kLutBlue})
            m_frame.m_Lut[static_cast<size_t>(table)] = m_openingLuts[static_cast<size_t>(table)];
    }
    QDialog::reject();
}
