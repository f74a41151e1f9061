// The Camera dialog (Options > Camera...): the cameras the driver finds, to choose the one the viewer
// shows. It only chooses; the frame opens the camera.
#pragma once

#include "camera/CameraChoice.h"

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

class CCameraDlg : public QDialog {
    Q_OBJECT

public:
    // `current`: the id of the camera open now, selected at first (empty: the driver's own choice,
    // which selects nothing).
    CCameraDlg(const std::vector<ocu::CameraEntry>& cameras, const std::string& current, QWidget* parent);

    // The camera chosen, once the dialog was accepted.
    std::string ChosenId() const;

private:
    void UpdateOk();

    std::vector<ocu::CameraEntry> m_cameras;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
};
