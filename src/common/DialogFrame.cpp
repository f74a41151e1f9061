#include "common/DialogFrame.h"

#include <QGroupBox>
#include <QWidget>

namespace ocu {

void UseDialogFrame(QWidget& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

QGroupBox* AddGroupBox(QWidget& dialog, const QString& title, const QRect& rect) {
    auto* group = new QGroupBox(title, &dialog);
    // The templates place a group's first controls half a line below its top edge, where the frame's line
    // runs through the middle of the title; a style that draws the line below the title would cut
    // through those controls. The sheet is the group's own: one on the dialog would keep the dialog's
    // font from its controls, which then render in the application's.
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 0.5em;"
        " padding: 0 2px; background-color: palette(window); }"));
    group->setGeometry(rect);
    group->lower();
    return group;
}

} // namespace ocu
