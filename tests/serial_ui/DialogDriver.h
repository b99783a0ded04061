// Runs the modal setup dialog while a test plays the operator: the test's
// steps run from the dialog's own event loop once the dialog is shown.
#pragma once

#include "serial_ui/CPortSetup.h"
#include "serial_ui/ComSelect.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

// The shown setup dialog, or none.
inline TComSetupFrm* ShownSetupDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<TComSetupFrm*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// Every setup dialog that exists, shown or not.
inline int SetupDialogsAlive()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<TComSetupFrm*>(widget))
            ++count;
    return count;
}

template <class T = TComComboBox>
T* Part(TComSetupFrm* dialog, const char* name)
{
    T* part = dialog->findChild<T*>(name);
    EXPECT_NE(part, nullptr) << name;
    return part;
}

// Schedules `operatorSteps` to run on the shown dialog, then calls `run`
// (which shows the dialog modally). A dialog the steps leave open is
// closed by its title bar so that a failing test cannot hang, and the test
// fails.
inline void WithDialog(const std::function<void(TComSetupFrm*)>& operatorSteps, const std::function<void()>& run)
{
    bool stepsRan = false;
    QTimer::singleShot(0, [&] {
        TComSetupFrm* dialog = ShownSetupDialog();
        if (!dialog) {
            ADD_FAILURE() << "no setup dialog shown";
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        operatorSteps(dialog);
        stepsRan = true;
        if (TComSetupFrm* still = ShownSetupDialog()) {
            ADD_FAILURE() << "the operator's steps left the dialog open";
            QCloseEvent close;
            QCoreApplication::sendEvent(still->windowHandle(), &close);
        }
    });
    run();
    EXPECT_TRUE(stepsRan);
}

// The operator's ways out of the dialog.
inline void ClickOk(TComSetupFrm* dialog)
{
    QTest::mouseClick(Part<QPushButton>(dialog, "Button1"), Qt::LeftButton);
}

inline void ClickCancel(TComSetupFrm* dialog)
{
    QTest::mouseClick(Part<QPushButton>(dialog, "Button2"), Qt::LeftButton);
}

// Closing the window by its title bar: the window system sends a close
// event to the dialog's window.
inline void CloseByTitleBar(TComSetupFrm* dialog)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(dialog->windowHandle(), &close);
}

// A key pressed wherever the keyboard focus is.
inline void PressKey(TComSetupFrm* dialog, Qt::Key key)
{
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != dialog)
        target = dialog;
    QTest::keyClick(target, key);
}
