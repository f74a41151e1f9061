#include "app/HelpLinks.h"

#include "common/MessageBox.h"

#include <QDesktopServices>
#include <QUrl>

namespace ocu {
namespace {

void OpenLink(const char* url, const char* failure) {
    if (QDesktopServices::openUrl(QUrl(QString::fromUtf8(url))))
        return;
    ShowWarning(QString::fromUtf8(failure));
}

} // namespace

void OpenWebsite() {
    OpenLink(kWebsiteUrl, "Sorry: cannot access web location");
}

void OpenSupportMail() {
    OpenLink(kSupportMailUrl, "Sorry: cannot access email");
}

} // namespace ocu
