// Driving a modal dialog that a command runs: the steps run inside its modal loop, once it shows.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace ocu::test {

// Runs steps on the next modal dialog of type Dlg, once it is active. Steps that leave it open fail the test,
// and the dialog is then closed so that the command returns.
template <class Dlg>
void OnModal(std::function<void(Dlg&)> steps) {
    QTimer::singleShot(0, [steps = std::move(steps)] {
        auto* dlg = qobject_cast<Dlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr) {
            ADD_FAILURE() << "no modal dialog of the expected kind";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
        steps(*dlg);
        if (dlg->isVisible()) {
            ADD_FAILURE() << "the dialog is still open";
            dlg->done(QDialog::Rejected);
        }
    });
}

// A control of a dialog by its id; a missing one ends the tests.
template <class Control>
Control& Child(QWidget& dlg, const char* id) {
    auto* control = dlg.findChild<Control*>(QLatin1String(id));
    if (control == nullptr) {
        ADD_FAILURE() << "no control " << id;
        std::abort();
    }
    return *control;
}

inline QLineEdit& Edit(QWidget& dlg, const char* id) {
    return Child<QLineEdit>(dlg, id);
}

inline QPushButton& Button(QWidget& dlg, const char* id) {
    return Child<QPushButton>(dlg, id);
}

// The names of the controls that Tab reaches, in order, from `first` round to it again (the count is
// capped, so that a chain that never comes back still ends).
inline QStringList TabOrder(QWidget& first) {
    QStringList order;
    QWidget* w = &first;
    int steps = 0;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != &first && ++steps < 100);
    return order;
}

// The texts of a dialog's labels, in the order of its children.
inline QStringList LabelTexts(QWidget& dlg) {
    QStringList texts;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

} // namespace ocu::test
