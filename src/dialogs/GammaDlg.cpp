#include "dialogs/GammaDlg.h"

#include "common/DialogFrame.h"
#include "common/DialogUnits.h"
#include "dialogs/DataExchange.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

namespace ocu {

QString GammaDialogFontFamily() {
    const QStringList installed = QFontDatabase::families();
    // The Song (Ming) faces first, as the dialog has always been set in one.
    for (const char* family : {"宋体", "SimSun", "Noto Serif CJK SC", "Noto Sans CJK SC"}) {
        const QString name = QString::fromUtf8(family);
        if (installed.contains(name, Qt::CaseInsensitive))
            return name;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.front();
}

} // namespace ocu

CGammaDlg::CGammaDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Gamma 校正系数"));
    ocu::UseDialogFrame(*this);
    QFont dialogFont = font();
    if (const QString family = ocu::GammaDialogFontFamily(); !family.isEmpty())
        dialogFont.setFamilies({family});
    dialogFont.setPointSize(10);
    setFont(dialogFont);
    const ocu::DialogUnits du(dialogFont);
    setFixedSize(du.X(139), du.Y(53));

    // The controls in their tab order.
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(du.Rect(10, 30, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    cancel->setGeometry(du.Rect(78, 30, 50, 14));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("1043"));
    m_edit->setGeometry(du.Rect(73, 7, 56, 14));
    auto* label = new QLabel(QStringLiteral("Gamma 校正系数"), this);
    label->setGeometry(du.Rect(10, 10, 57, 8));

    connect(ok, &QPushButton::clicked, this, &CGammaDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CGammaDlg::reject);
}

void CGammaDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        ocu::WriteNumberField(*m_edit, m_dGamma);
    }
    QDialog::showEvent(event);
}

void CGammaDlg::accept() {
    double gamma = m_dGamma;
    if (!ocu::ReadNumberField(*m_edit, gamma, std::pair{0.3, 3.0}))
        return;
    m_dGamma = gamma;
    QDialog::accept();
}
