#include "app/HelpLinks.h"

#include "common/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace ocu {
namespace {

// On X11 and Wayland desktops Qt hands a link to xdg-open and reports only that it started; whether
// anything took the link (a mailto: link on a desktop without a mail program, any link without a
// browser) only xdg-open's exit status tells, so there the viewer runs it itself. Elsewhere (no such
// desktop, or no xdg-open) Qt's answer is all there is.
QString DesktopOpener() {
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return {};
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

void OpenLink(const char* url, const char* failure) {
    if (const QString opener = DesktopOpener(); !opener.isEmpty()) {
        OpenLinkWith(opener, QString::fromUtf8(url), QString::fromUtf8(failure));
        return;
    }
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

void OpenLinkWith(const QString& opener, const QString& url, const QString& failure) {
    // The application owns the process until it ends. Some desktops' xdg-open waits for the browser it
    // started; one still running when the viewer ends is stopped, the browser, its child, is not.
    auto* process = new QProcess(QCoreApplication::instance());
    // What the opener starts inherits the viewer's output, not pipes that close when the viewer ends.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    const auto done = [process, failure](bool failed) {
        // An opener stopped because the viewer ends says nothing.
        if (failed && !QCoreApplication::closingDown())
            ShowWarning(failure);
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process, [done](int code, QProcess::ExitStatus status) {
        done(status != QProcess::NormalExit || code != 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(true);
    });
    process->start(opener, {url});
}

} // namespace ocu
