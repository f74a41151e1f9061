// The recording's status window: modeless and small, beside the live picture. It shows what it is given
// (frames written and dropped, data rate, time, free space, frames waiting) and has a Stop button, which
// becomes Close once the recording has ended. Its close box stops a running recording too.
#pragma once

#include "record/RecordChoice.h"

#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;

class CRecordStatusDlg : public QDialog {
    Q_OBJECT

public:
    // `stop` ends the recording (the frames waiting are still written).
    CRecordStatusDlg(QWidget* parent, const QString& target, size_t memoryCap, std::function<void()> stop);

    void Show(const ocurecord::Progress& progress);
    bool Ended() const { return m_ended; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnButton();

    std::function<void()> m_stop;
    size_t m_memoryCap;
    bool m_ended = false;
    std::vector<QLabel*> m_figures; // a label for each line of RecordStatusText
    QPushButton* m_button = nullptr;
};
