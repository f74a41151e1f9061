#include "record/RecordDlg.h"

#include "common/DialogFrame.h"
#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace ocu;

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CRecordDlg::CRecordDlg(QWidget* parent, const RecordChoice& choice,
                       std::function<bool(const RecordChoice&)> start)
    : QDialog(parent), m_start(std::move(start)) {
    setWindowTitle(QStringLiteral("Record"));
    UseDialogFrame(*this);

    m_folder = new QLineEdit(QFile::decodeName(choice.folder.c_str()), this);
    m_folder->setObjectName(QStringLiteral("folder"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);

    m_stem = new QLineEdit(Text(choice.stem), this);
    m_stem->setObjectName(QStringLiteral("stem"));
    m_files = new QLabel(this);
    m_files->setObjectName(QStringLiteral("files"));
    m_files->setWordWrap(true);

    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("format"));
    for (const RecordFormatEntry& entry : RecordFormats())
        m_format->addItem(QString::fromUtf8(entry.label));
    m_format->setCurrentIndex(choice.format);

    m_untilStopped = new QRadioButton(QStringLiteral("When &stopped"), this);
    m_untilStopped->setObjectName(QStringLiteral("untilStopped"));
    m_byFrames = new QRadioButton(QStringLiteral("After this many fr&ames:"), this);
    m_byFrames->setObjectName(QStringLiteral("byFrames"));
    m_bySeconds = new QRadioButton(QStringLiteral("After this many s&econds:"), this);
    m_bySeconds->setObjectName(QStringLiteral("bySeconds"));
    m_frames = new QSpinBox(this);
    m_frames->setObjectName(QStringLiteral("frames"));
    m_frames->setRange(1, 100000000);
    m_frames->setValue(choice.frames);
    m_seconds = new QSpinBox(this);
    m_seconds->setObjectName(QStringLiteral("seconds"));
    m_seconds->setRange(1, 1000000);
    m_seconds->setValue(choice.seconds);
    (choice.limit == RecordLimit::Frames    ? m_byFrames
     : choice.limit == RecordLimit::Seconds ? m_bySeconds
                                            : m_untilStopped)
        ->setChecked(true);
    auto* limits = new QFormLayout;
    limits->addRow(m_untilStopped);
    limits->addRow(m_byFrames, m_frames);
    limits->addRow(m_bySeconds, m_seconds);

    m_memory = new QSpinBox(this);
    m_memory->setObjectName(QStringLiteral("memory"));
    m_memory->setRange(16, kMaxRecordMemoryMiB);
    m_memory->setSuffix(QStringLiteral(" MiB"));
    m_memory->setValue(choice.memoryMiB);
    m_memory->setToolTip(QStringLiteral("Frames wait here while the disk catches up. When it is full, frames "
                                        "are dropped and counted, and the live picture never waits."));

    // The folder's label names its edit, so that its key reaches it although the row also has a button.
    auto* folderLabel = new QLabel(QStringLiteral("Fol&der:"), this);
    folderLabel->setBuddy(m_folder);
    auto* form = new QFormLayout;
    form->addRow(folderLabel, folderRow);
    form->addRow(QStringLiteral("File &name:"), m_stem);
    form->addRow(QString(), m_files);
    form->addRow(QStringLiteral("&Format:"), m_format);
    form->addRow(QStringLiteral("Stop:"), limits);
    form->addRow(QStringLiteral("&Memory for frames waiting:"), m_memory);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Record"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &CRecordDlg::ChooseFolder);
    connect(m_stem, &QLineEdit::textChanged, this, &CRecordDlg::UpdateFiles);
    connect(m_format, &QComboBox::currentIndexChanged, this, &CRecordDlg::UpdateFiles);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRecordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRecordDlg::reject);
    UpdateFiles();
}

RecordChoice CRecordDlg::Choice() const {
    RecordChoice choice;
    choice.folder = QFile::encodeName(m_folder->text().trimmed()).toStdString();
    choice.stem = m_stem->text().trimmed().toStdString();
    choice.format = m_format->currentIndex();
    choice.limit = m_byFrames->isChecked()    ? RecordLimit::Frames
                   : m_bySeconds->isChecked() ? RecordLimit::Seconds
                                              : RecordLimit::UntilStopped;
    choice.frames = m_frames->value();
    choice.seconds = m_seconds->value();
    choice.memoryMiB = m_memory->value();
    return choice;
}

void CRecordDlg::ChooseFolder() {
    FileDialogRequest request;
    request.parent = this;
    request.folder = true;
    request.directory = m_folder->text();
    const QString folder = ShowFileDialog(request);
    if (!folder.isEmpty())
        m_folder->setText(folder);
}

void CRecordDlg::UpdateFiles() {
    const RecordChoice choice = Choice();
    m_files->setText(choice.stem.empty() ? QString() : QString::fromStdString(RecordFilesText(choice)));
}

void CRecordDlg::accept() {
    const RecordChoice choice = Choice();
    if (choice.folder.empty() || choice.stem.empty()) {
        ShowMessageBox({this, QString::fromLatin1(kAppTitle),
                        choice.folder.empty() ? QStringLiteral("Choose the folder to record into.")
                                              : QStringLiteral("Give the recording a file name."),
                        QMessageBox::Warning, QMessageBox::Ok});
        (choice.folder.empty() ? m_folder : m_stem)->setFocus();
        return;
    }
    if (m_start && !m_start(choice))
        return;
    QDialog::accept();
}
