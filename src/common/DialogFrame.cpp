#include "common/DialogFrame.h"

#include <QWidget>

namespace ocu {

void UseDialogFrame(QWidget& dialog) {
    // The templates place a group's first controls half a line below its top edge, where the frame's line
    // runs through the middle of the title; a style that draws the line below the title would cut
    // through those controls.
    dialog.setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 0.5em;"
        " padding: 0 2px; background-color: palette(window); }"));
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

} // namespace ocu
