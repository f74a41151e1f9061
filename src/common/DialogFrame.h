// How every dialog of the program is framed: a caption with a close box (the system menu) and nothing to
// minimise or maximise, since the dialogs are modal and of a fixed size; group boxes drawn as the
// templates' coordinates expect them.
#pragma once

class QWidget;

namespace ocu {

void UseDialogFrame(QWidget& dialog);

} // namespace ocu
