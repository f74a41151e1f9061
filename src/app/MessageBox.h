// Message boxes of the viewer. Everything goes through ShowMessageBox, so that tests, which have no one
// to press a button, can answer the boxes instead.
#pragma once

#include "app/Version.h"

#include <QMessageBox>
#include <QString>
#include <functional>

namespace ocu {

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Shows a modal box and returns the button that closed it.
QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request);

// Replaces the modal box with handler (an empty handler brings the box back); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace ocu
