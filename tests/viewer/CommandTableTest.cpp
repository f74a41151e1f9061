#include "frame/CommandTable.h"

#include "frame/CommandIds.h"

#include <QKeySequence>
#include <QString>
#include <gtest/gtest.h>
#include <set>

using namespace ocu;

namespace {

// The command an accelerator key sequence runs, or 0.
int AcceleratorCommand(const QKeySequence& keys) {
    for (const AcceleratorDef& accel : AcceleratorTable()) {
        if (QKeySequence(QString::fromLatin1(accel.keys)) == keys)
            return accel.id;
    }
    return 0;
}

} // namespace

TEST(CommandTable, EveryShortcutLabelIsTheKeyOfItsOwnCommand) {
    int labelled = 0;
    for (const CommandDef& def : CommandTable()) {
        if (def.id == 0 || def.shortcut[0] == '\0')
            continue;
        ++labelled;
        EXPECT_EQ(AcceleratorCommand(QKeySequence(QString::fromLatin1(def.shortcut))), def.id) << def.text;
    }
    EXPECT_EQ(labelled, 4); // Open, Print, Single Snap, Continuous Snap
    EXPECT_EQ(AcceleratorCommand(QKeySequence(QStringLiteral("Ctrl+O"))), kIdFileOpenImage);
}

TEST(CommandTable, FrameworkAccelerators) {
    EXPECT_EQ(AcceleratorCommand(QKeySequence(QStringLiteral("Ctrl+N"))), kIdFileNew);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(QStringLiteral("Ctrl+S"))), kIdFileSaveAs);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::CTRL | Qt::Key_Insert)), kIdEditCopy);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::SHIFT | Qt::Key_Insert)), kIdEditPaste);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::SHIFT | Qt::Key_Delete)), kIdEditCut);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::ALT | Qt::Key_Backspace)), kIdEditUndo);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::Key_F6)), kIdNextPane);
    EXPECT_EQ(AcceleratorCommand(QKeySequence(Qt::SHIFT | Qt::Key_F6)), kIdPrevPane);
    EXPECT_EQ(AcceleratorTable().size(), 16u);
}

TEST(CommandTable, IdsAreUniqueAndUnhandledCommandsHaveNoRow) {
    std::set<int> ids;
    for (const CommandDef& def : CommandTable()) {
        if (def.id != 0) {
            EXPECT_TRUE(ids.insert(def.id).second) << def.id;
            EXPECT_NE(def.handler, nullptr) << def.id;
        }
    }
    for (int id : {kIdEditCopy, kIdEditCut, kIdEditPaste, kIdEditUndo, kIdNextPane, kIdPrevPane})
        EXPECT_EQ(FindCommand(id), nullptr) << id;
}
