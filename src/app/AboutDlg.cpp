#include "app/AboutDlg.h"

#include "app/AppIcon.h"
#include "common/DialogFrame.h"
#include "common/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

namespace {

// The About box has always shown the version before the program's own.
constexpr char kAboutVersionText[] = "VelViewer Version 1.01.0001";
constexpr char kAboutNotice[] = "Copyright (C) Norvale Vistar";

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About VelViewer"));
    ocu::UseDialogFrame(*this);
    const ocu::DialogUnits du(font());
    setFixedSize(du.X(212), du.Y(76));

    // Created first so that it lies beneath the controls it frames.
    ocu::AddGroupBox(*this, QString(), du.Rect(9, 3, 194, 43));

    auto* icon = new QLabel(this);
    icon->setGeometry(du.Rect(14, 14, 20, 20));
    icon->setPixmap(ocu::AppIcon().pixmap(icon->size()));

    auto* version = new QLabel(QString::fromLatin1(kAboutVersionText), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(du.Rect(46, 15, 119, 8));

    auto* notice = new QLabel(QString::fromLatin1(kAboutNotice), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setGeometry(du.Rect(46, 30, 152, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(du.Rect(82, 55, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
