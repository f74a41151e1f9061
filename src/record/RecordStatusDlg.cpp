#include "record/RecordStatusDlg.h"

#include "common/DialogFrame.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ocu;

CRecordStatusDlg::CRecordStatusDlg(QWidget* parent, const QString& target, size_t memoryCap,
                                   std::function<void()> stop)
    : QDialog(parent), m_stop(std::move(stop)), m_memoryCap(memoryCap) {
    setWindowTitle(QStringLiteral("Recording"));
    UseDialogFrame(*this);
    setModal(false);
    const auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    auto* into = label("target");
    into->setText(target);
    into->setWordWrap(true);
    m_state = label("state");
    m_state->setWordWrap(true);
    m_written = label("written");
    m_dropped = label("dropped");
    m_dropped->setWordWrap(true);
    m_rate = label("rate");
    m_time = label("time");
    m_space = label("space");
    m_waiting = label("waiting");
    m_button = new QPushButton(QStringLiteral("&Stop"), this);
    m_button->setObjectName(QStringLiteral("stop"));
    m_button->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Into:"), into);
    form->addRow(QStringLiteral("State:"), m_state);
    form->addRow(QStringLiteral("Frames written:"), m_written);
    form->addRow(QStringLiteral("Frames dropped:"), m_dropped);
    form->addRow(QStringLiteral("Data rate:"), m_rate);
    form->addRow(QStringLiteral("Time:"), m_time);
    form->addRow(QStringLiteral("Free space:"), m_space);
    form->addRow(QStringLiteral("Waiting to be written:"), m_waiting);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(m_button, 0, Qt::AlignRight);
    connect(m_button, &QPushButton::clicked, this, &CRecordStatusDlg::OnButton);
}

void CRecordStatusDlg::Show(const ocurecord::Progress& progress) {
    const RecordStatusText text = DescribeProgress(progress, m_memoryCap);
    m_state->setText(QString::fromStdString(text.state));
    m_written->setText(QString::fromStdString(text.written));
    m_dropped->setText(QString::fromStdString(text.dropped));
    m_rate->setText(QString::fromStdString(text.rate));
    m_time->setText(QString::fromStdString(text.time));
    m_space->setText(QString::fromStdString(text.space));
    m_waiting->setText(QString::fromStdString(text.waiting));
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
