// The application object: single instance, About box, Help links, the empty document.
#include "LiveTestSupport.h"
#include "OcuSnapTesting.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "app/AboutDlg.h"
#include "app/HelpLinks.h"
#include "app/OcuViewerDoc.h"
#include "app/QuitSignals.h"
#include "frame/CommandIds.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;

namespace {

// Takes the URLs handed to the desktop instead of opening them.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "Open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    }
    std::vector<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

class App : public ViewerTest {};

} // namespace

TEST_F(App, SecondInstanceIsRefusedAndTheFirstIsLeftAlone) {
    RunningViewer first;
    ASSERT_TRUE(first.Started());
    driver.ClearCalls();

    MessageBoxRecorder boxes;
    COcuViewerApp second;
    EXPECT_FALSE(second.InitInstance({}));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "OcuViewer");
    EXPECT_EQ(boxes.Boxes()[0].text, "The program is running!");
    EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.Boxes()[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(boxes.Boxes()[0].owner, nullptr);
    EXPECT_EQ(second.MainFrame(), nullptr);
    // The refused instance keeps its handle until its exit step closes it.
    EXPECT_TRUE(second.m_hMutex);
    EXPECT_EQ(second.ExitInstance(), 0);
    EXPECT_FALSE(second.m_hMutex);

    // The running one never heard of it.
    EXPECT_TRUE(driver.CallTexts().empty());
    EXPECT_TRUE(first.Frame().isVisible());
}

TEST_F(App, NextStartSucceedsAfterTheFirstHasExited) {
    {
        RunningViewer first;
        ASSERT_TRUE(first.Started());
        first.Frame().close();
    }
    RunningViewer next;
    EXPECT_TRUE(next.Started());
}

TEST(Document, SavesAnEmptyFileAndNewForgetsIt) {
    TempDir dir;
    const std::string path = dir.File("doc.optra");
    WriteText(path, "previous content");
    COcuViewerDoc doc;
    ASSERT_TRUE(doc.OnSaveDocument(QString::fromStdString(path)));
    EXPECT_EQ(ReadText(path), "");
    EXPECT_EQ(doc.GetTitle(), "doc.optra");
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_TRUE(doc.GetPathName().isEmpty());
    EXPECT_FALSE(doc.OnSaveDocument(QString::fromStdString(dir.File("missing/folder/doc.optra"))));
}

TEST_F(App, AboutBoxShowsTheVersionText) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    QString title;
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(qobject_cast<CAboutDlg*>(modal), nullptr);
        title = modal->windowTitle();
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        modal->findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
    });
    ASSERT_TRUE(viewer.Frame().ExecuteCommand(kIdAppAbout));
    EXPECT_EQ(title, "About VelViewer");
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "VelViewer Version 1.01.0001");
    EXPECT_FALSE(texts[1].isEmpty());
}

TEST_F(App, HelpLinksGoToTheDesktop) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    UrlCatcher catcher;
    ASSERT_TRUE(viewer.Frame().ExecuteCommand(kIdGoToWebsite));
    ASSERT_TRUE(viewer.Frame().ExecuteCommand(kIdContactSupport));
    ASSERT_EQ(catcher.urls.size(), 2u);
    EXPECT_EQ(catcher.urls[0], QUrl(QString::fromLatin1(kWebsiteUrl)));
    EXPECT_EQ(catcher.urls[1].scheme(), "mailto");
    // The display name, then the address in angle brackets, with no blank between them.
    EXPECT_TRUE(catcher.urls[1].path().endsWith("Support<support@norvale-vistar.example>"))
        << catcher.urls[1].path().toStdString();
}

TEST_F(App, HelpLinksThatTheDesktopCannotOpenSaySo) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    // The headless platform opens no URLs.
    MessageBoxRecorder boxes;
    ASSERT_TRUE(viewer.Frame().ExecuteCommand(kIdGoToWebsite));
    ASSERT_TRUE(viewer.Frame().ExecuteCommand(kIdContactSupport));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Sorry: cannot access web location");
    EXPECT_EQ(boxes.Boxes()[1].text, "Sorry: cannot access email");
    for (const MessageBoxRequest& box : boxes.Boxes()) {
        EXPECT_EQ(box.caption, "OcuViewer");
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
    }
    EXPECT_TRUE(viewer.Frame().isVisible());
}

// On X11 and Wayland desktops the links go to xdg-open, whose exit status says whether anything took them.
TEST_F(App, HelpLinksWarnWhenTheDesktopOpenerTakesNothing) {
    const TempDir dir;
    const struct {
        const char* script; // the opener; null: none there
        bool warned;
    } rows[] = {
        {"#!/bin/sh\nprintf '%s' \"$1\" > \"$0.url\"\n", false},
        {"#!/bin/sh\nexit 3\n", true}, // xdg-open's status when nothing takes the link
        {nullptr, true},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string opener = dir.File("opener" + std::to_string(i));
        if (rows[i].script != nullptr) {
            WriteText(opener, rows[i].script);
            std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        }
        MessageBoxRecorder boxes;
        OpenLinkWith(QString::fromStdString(opener), QString::fromLatin1(kSupportMailUrl),
                     QStringLiteral("Sorry: cannot access email"));
        // Until the opener has ended and been let go.
        EXPECT_TRUE(WaitFor([] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return qApp->findChildren<QProcess*>(Qt::FindDirectChildrenOnly).isEmpty();
        })) << i;
        if (rows[i].warned) {
            ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(boxes, QStringLiteral("Sorry: cannot access email")));
        } else {
            EXPECT_TRUE(boxes.Boxes().empty()) << i;
            EXPECT_EQ(ReadText(opener + ".url"), kSupportMailUrl);
        }
    }
}

namespace {

void (*Disposition(int signal))(int) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

} // namespace

// A request reaches the event loop once; after it, the signals are left to their default action, so that a
// second request ends the viewer at once. One ignored at the start (nohup) stays ignored throughout.
TEST(QuitSignals, ARequestReachesTheEventLoopOnceAndLeavesTheNextToTheDefault) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGHUP, &ignore, &before), 0);
    int requests = 0;
    {
        const QuitSignals quitSignals([&] { ++requests; });
        EXPECT_NE(Disposition(SIGINT), SIG_DFL);
        EXPECT_NE(Disposition(SIGTERM), SIG_DFL);
        EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);

        ASSERT_EQ(raise(SIGTERM), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return requests > 0; }, 5000));
        QCoreApplication::processEvents();
        EXPECT_EQ(requests, 1);
        EXPECT_EQ(Disposition(SIGINT), SIG_DFL);
        EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
        EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    }
    EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
    EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    sigaction(SIGHUP, &before, nullptr);
}

#include "AppTest.moc"
