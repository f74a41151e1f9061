#include "record/RecordStatusDlg.h"

#include "common/DialogFrame.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ocu;

namespace {

// The window's lines: each label's object name and caption, and the text it shows.
struct FigureRow {
    const char* name;
    const char* caption;
    std::string RecordStatusText::*text;
    bool wrap; // a text that may run long
};
constexpr FigureRow kFigureRows[] = {
    {"state", "State:", &RecordStatusText::state, true},
    {"written", "Frames written:", &RecordStatusText::written, false},
    {"dropped", "Frames dropped:", &RecordStatusText::dropped, true},
    {"rate", "Data rate:", &RecordStatusText::rate, false},
    {"time", "Time:", &RecordStatusText::time, false},
    {"space", "Free space:", &RecordStatusText::space, false},
    {"waiting", "Waiting to be written:", &RecordStatusText::waiting, false},
};

} // namespace

CRecordStatusDlg::CRecordStatusDlg(QWidget* parent, const QString& target, size_t memoryCap,
                                   std::function<void()> stop)
    : QDialog(parent), m_stop(std::move(stop)), m_memoryCap(memoryCap) {
    setWindowTitle(QStringLiteral("Recording"));
    UseDialogFrame(*this);
    setModal(false);
    auto* form = new QFormLayout;
    const auto addRow = [&](const char* name, const char* caption, bool wrap) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setWordWrap(wrap);
        form->addRow(QString::fromLatin1(caption), l);
        return l;
    };
    addRow("target", "Into:", true)->setText(target);
    for (const FigureRow& row : kFigureRows)
        m_figures.push_back(addRow(row.name, row.caption, row.wrap));
    m_button = new QPushButton(QStringLiteral("&Stop"), this);
    m_button->setObjectName(QStringLiteral("stop"));
    m_button->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(m_button, 0, Qt::AlignRight);
    connect(m_button, &QPushButton::clicked, this, &CRecordStatusDlg::OnButton);
}

void CRecordStatusDlg::Show(const ocurecord::Progress& progress) {
    const RecordStatusText text = DescribeProgress(progress, m_memoryCap);
    for (size_t i = 0; i < m_figures.size(); ++i)
        m_figures[i]->setText(QString::fromStdString(text.*kFigureRows[i].text));
    const bool ended = progress.state == ocurecord::State::Finished;
    if (ended != m_ended) {
        m_ended = ended;
        m_button->setText(ended ? QStringLiteral("&Close") : QStringLiteral("&Stop"));
    }
    m_button->setEnabled(ended || progress.state == ocurecord::State::Recording);
}

void CRecordStatusDlg::OnButton() {
    if (m_ended)
        hide();
    else if (m_stop)
        m_stop();
}

void CRecordStatusDlg::reject() {
    // Escape, like the close box, stops a running recording and closes an ended one's window.
    OnButton();
}

void CRecordStatusDlg::closeEvent(QCloseEvent* event) {
    if (!m_ended) {
        if (m_stop)
            m_stop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
