// Every dialog in the same frame: a close box and nothing to minimise or maximise, and group boxes whose
// frame line runs above the controls the templates place inside them (not through them).
#include "WindowTestSupport.h"
#include "app/AboutDlg.h"
#include "dialogs/CameraDlg.h"
#include "dialogs/CameraFeaturesDlg.h"
#include "dialogs/GammaDlg.h"
#include "dialogs/WhiteBalanceDlg.h"
#include "record/RecordDlg.h"
#include "record/RecordStatusDlg.h"

#include <QGroupBox>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace ocu;
using namespace ocu::test;

namespace {

class DialogFrames : public ViewerTest {};

} // namespace

TEST_F(DialogFrames, EveryDialogHasACloseBoxAndItsGroupsFrameTheirControls) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    const std::function<std::unique_ptr<QDialog>()> dialogs[] = {
        [&] { return std::make_unique<CAboutDlg>(&frame); },
        [&] { return std::make_unique<CCameraFeaturesDlg>(frame); },
        [&] { return std::make_unique<CWhiteBalanceDlg>(frame); },
        [] { return std::make_unique<CGammaDlg>(); },
        [&] {
            return std::make_unique<CCameraDlg>(std::vector<CameraEntry>{{"sim", "", "", "", "Simulated"}},
                                                "sim", &frame);
        },
        [&] { return std::make_unique<CRecordDlg>(&frame, RecordChoice{}, nullptr); },
        [&] { return std::make_unique<CRecordStatusDlg>(&frame, QString(), 0, nullptr); },
    };
    int groups = 0;
    for (const auto& make : dialogs) {
        const std::unique_ptr<QDialog> dlg = make();
        dlg->show();
        ProcessEvents();
        const std::string name = dlg->windowTitle().toStdString();
        EXPECT_TRUE(dlg->windowFlags() & Qt::WindowCloseButtonHint) << name;
        EXPECT_FALSE(dlg->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
            << name;

        const QList<QWidget*> controls = dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        // Every control renders in the dialog's own font: the group boxes' frame never keeps it from them.
        const QFontInfo dialogFont = dlg->fontInfo();
        for (const QWidget* control : controls)
            EXPECT_EQ(std::pair(control->fontInfo().family(), control->fontInfo().pointSizeF()),
                      std::pair(dialogFont.family(), dialogFont.pointSizeF()))
                << name << ": " << control->metaObject()->className();
        for (const QGroupBox* group : dlg->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
            ++groups;
            // Inside the frame: below its top line, which the title straddles or sits on.
            const int inside = group->y() + group->contentsRect().top();
            for (const QWidget* control : controls) {
                if (control == group || !group->geometry().contains(control->geometry()))
                    continue;
                EXPECT_GE(control->geometry().top(), inside)
                    << name << ": " << control->objectName().toStdString() << " under "
                    << group->title().toStdString();
            }
        }
        dlg->reject();
    }
    EXPECT_EQ(groups, 7); // About 1, Camera Features 5, White Balance 1
}
