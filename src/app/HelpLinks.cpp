#include "app/HelpLinks.h"

#include "app/MessageBox.h"

#include <QDesktopServices>
#include <QUrl>

namespace ocu {
namespace {

void OpenLink(const char* url, const char* failure) {
    if (QDesktopServices::openUrl(QUrl(QString::fromUtf8(url))))
        return;
    MessageBoxRequest box;
    box.caption = kAppTitle;
    box.text = failure;
    box.icon = QMessageBox::Warning;
    ShowMessageBox(box);
}

} // namespace

void OpenWebsite() {
    OpenLink(kWebsiteUrl, "Sorry: cannot access web location");
}

void OpenSupportMail() {
    OpenLink(kSupportMailUrl, "Sorry: cannot access email");
}

} // namespace ocu
