// How every dialog of the program is framed: a caption with a close box (the system menu) and nothing to
// minimise or maximise, since the dialogs are modal and of a fixed size; group boxes drawn as the
// templates' coordinates expect them.
#pragma once

#include <QString>

class QGroupBox;
class QRect;
class QWidget;

namespace ocu {

void UseDialogFrame(QWidget& dialog);

// A group box of the dialog at rect (the dialog's coordinates), beneath the controls created before it
// too, so that those take the clicks. Its frame line runs through the middle of the title.
QGroupBox* AddGroupBox(QWidget& dialog, const QString& title, const QRect& rect);

} // namespace ocu
