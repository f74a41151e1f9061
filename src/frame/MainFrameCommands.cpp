// The frame's commands: the menu bar and the keys built from the command table, and the update rules
// that every command passes before it runs.
#include "frame/MainFrame.h"

#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

using namespace ocu;

void CMainFrame::BuildMenus() {
    QHash<QString, QMenu*> menus;
    const auto menuFor = [&](const QString& path) {
        if (QMenu* existing = menus.value(path))
            return existing;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        QMenu* menu = nullptr;
        if (slash < 0)
            menu = menuBar()->addMenu(path);
        else
            menu = menus.value(path.left(slash))->addMenu(path.mid(slash + 1));
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
        menus.insert(path, menu);
        return menu;
    };

    for (const CommandDef& def : CommandTable()) {
        const QString path = QString::fromLatin1(def.menuPath);
        if (path.isEmpty())
            continue;
        // Parent menus come first, so that "&Options/Resolution" finds "&Options".
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        if (slash > 0)
            menuFor(path.left(slash));
        QMenu* menu = menuFor(path);
        if (def.id == 0) {
            menu->addSeparator();
            continue;
        }
        QString text = QString::fromLatin1(def.text);
        if (def.shortcut[0] != '\0')
            text += QLatin1Char('\t') + QString::fromLatin1(def.shortcut);
        QAction* action = menu->addAction(text);
        action->setData(def.id);
        // The keys are the accelerator table's, so the action itself carries no shortcut.
        action->setCheckable(def.update != nullptr && !def.neverChecked);
        const int id = def.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        m_actions.insert(def.id, action);
        UpdateAction(action);
    }
}

void CMainFrame::BuildAccelerators() {
    for (const AcceleratorDef& accel : AcceleratorTable()) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(accel.keys)), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = accel.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { ExecuteCommand(id); });
    }
}

CommandUi CMainFrame::QueryCommand(int id) const {
    const CommandDef* def = FindCommand(id);
    if (def == nullptr || def->handler == nullptr)
        return CommandUi{false, false};
    return def->update ? def->update(*this) : CommandUi{};
}

bool CMainFrame::ExecuteCommand(int id) {
    const CommandDef* def = FindCommand(id);
    if (def == nullptr || def->handler == nullptr || !QueryCommand(id).enabled)
        return false;
    def->handler(*this);
    // A checkable action toggles itself when triggered; the rule has the last word.
    if (QAction* action = m_actions.value(id))
        UpdateAction(action);
    return true;
}

QAction* CMainFrame::FindAction(int id) const {
    return m_actions.value(id);
}

void CMainFrame::UpdateAction(QAction* action) const {
    const CommandUi ui = QueryCommand(action->data().toInt());
    action->setEnabled(ui.enabled);
    action->setChecked(ui.checked);
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->menu() == nullptr)
            UpdateAction(action);
    }
}
