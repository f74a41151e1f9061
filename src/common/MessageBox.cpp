#include "common/MessageBox.h"

#include "OcuSnap.h"

#include <utility>

namespace ocu {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request) {
    if (Handler())
        return Handler()(request);
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.owner);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowWarning(const QString& text, const QString& caption) {
    MessageBoxRequest box;
    box.caption = caption;
    box.text = text;
    box.icon = QMessageBox::Warning;
    ShowMessageBox(box);
}

void ShowDriverError(int32_t status) {
    ShowWarning(QString::fromUtf8(OcuGetErrorString(status)), QStringLiteral("Error message"));
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace ocu
