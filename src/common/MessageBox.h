// Message boxes of the viewer. Everything goes through ShowMessageBox, so that tests, which have no one
// to press a button, can answer the boxes instead.
#pragma once

#include "common/AppTitle.h"

#include <QMessageBox>
#include <QString>
#include <cstdint>
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

// A warning box without owner: an OK button, the warning icon. The caption defaults to the application's
// title, as for every box the viewer shows for the program as a whole.
void ShowWarning(const QString& text, const QString& caption = QString::fromLatin1(kAppTitle));

// The driver's text for a failed status, under "Error message".
void ShowDriverError(int32_t status);

// Replaces the modal box with handler (an empty handler brings the box back); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace ocu
