#pragma once
// Fixture of the user-interface tests: every dialog goes through a scripted
// dialog service; a dialog the test did not expect, or an expected one that
// never came, fails the test.
#include "ui/ScriptedDialogs.h"

#include <QApplication>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

class UiTest : public testing::Test {
protected:
    UiTest() : scope_(dialogs)
    {
        dialogs.OnUnexpected = [](const QString& report) { ADD_FAILURE() << report.toStdString(); };
    }
    ~UiTest() override
    {
        EXPECT_EQ(dialogs.PendingAnswers(), 0) << "expected dialogs that were never shown";
    }

    // Shows `window` and waits until it is the active window, so that it
    // takes the keyboard focus.
    static void Activate(QWidget* window)
    {
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    TScriptedDialogs dialogs;

private:
    TScriptedDialogsScope scope_;
};
