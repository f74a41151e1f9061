// The frame every dialog of the program has: a caption with a close box (the system menu), and nothing to
// minimise or maximise, since the dialogs are modal and of a fixed size.
#pragma once

class QWidget;

namespace ocu {

void UseDialogFrame(QWidget& dialog);

} // namespace ocu
