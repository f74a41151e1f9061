#include "dialogs/CameraDlg.h"

#include "common/DialogFrame.h"
#include "common/DialogUnits.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

CCameraDlg::CCameraDlg(const std::vector<ocu::CameraEntry>& cameras, const std::string& current,
                       QWidget* parent)
    : QDialog(parent), m_cameras(cameras) {
    setWindowTitle(QStringLiteral("Camera"));
    ocu::UseDialogFrame(*this);
    const ocu::DialogUnits du(font());
    setFixedSize(du.X(280), du.Y(126));

    auto* label = new QLabel(QStringLiteral("&Cameras found:"), this);
    label->setGeometry(du.Rect(7, 7, 200, 8));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("CameraList"));
    m_list->setGeometry(du.Rect(7, 18, 266, 78));
    label->setBuddy(m_list);
    for (const ocu::CameraEntry& camera : m_cameras) {
        m_list->addItem(QString::fromStdString(ocu::DescribeCamera(camera)));
        if (camera.id == current)
            m_list->setCurrentRow(m_list->count() - 1);
    }
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("IDOK"));
    m_ok->setGeometry(du.Rect(169, 104, 50, 14));
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    cancel->setGeometry(du.Rect(223, 104, 50, 14));

    connect(m_ok, &QPushButton::clicked, this, &CCameraDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCameraDlg::reject);
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { UpdateOk(); });
    connect(m_list, &QListWidget::itemActivated, this, [this] { accept(); });
    m_list->setFocus();
    UpdateOk();
}

std::string CCameraDlg::ChosenId() const {
    const int row = m_list->currentRow();
    return row >= 0 && static_cast<size_t>(row) < m_cameras.size() ? m_cameras[static_cast<size_t>(row)].id
                                                                   : std::string();
}

void CCameraDlg::UpdateOk() {
    m_ok->setEnabled(m_list->currentRow() >= 0);
}
