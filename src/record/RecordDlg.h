// The Record dialog: where a recording goes, in which format, and when it ends. OK starts it through the
// function the frame gives; a recording that cannot start leaves the dialog open.
#pragma once

#include "record/RecordChoice.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CRecordDlg : public QDialog {
    Q_OBJECT

public:
    // `start` begins a recording of the choice and says whether it did (it tells the user why not).
    CRecordDlg(QWidget* parent, const ocu::RecordChoice& choice,
               std::function<bool(const ocu::RecordChoice&)> start);

    // OK: a folder and a name are needed; then the recording must start, or the dialog stays open.
    void accept() override;

    // The choice as the controls hold it.
    ocu::RecordChoice Choice() const;

private:
    void ChooseFolder();
    void UpdateFiles();

    std::function<bool(const ocu::RecordChoice&)> m_start;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_stem = nullptr;
    QLabel* m_files = nullptr;
    QComboBox* m_format = nullptr;
    QRadioButton* m_untilStopped = nullptr;
    QRadioButton* m_byFrames = nullptr;
    QRadioButton* m_bySeconds = nullptr;
    QSpinBox* m_frames = nullptr;
    QSpinBox* m_seconds = nullptr;
    QSpinBox* m_memory = nullptr;
};
