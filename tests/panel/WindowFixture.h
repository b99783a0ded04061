// A shown main window and a pseudo-terminal pair to play the board, with
// helpers to answer the message boxes the window opens.
#pragma once

#include "panel/ZARIDO_CNTL.h"
#include "tests/support/AnswerBoxes.h"
#include "tests/support/PtyPair.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A point on a slider's groove well to the right of its handle, in the
// coordinates of the window's own surface.
inline QPoint RightOnGroove(TTrackBar* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.tickPosition = slider->tickPosition();
    option.subControls = QStyle::SC_All;
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    return slider->mapTo(slider->window(), QPoint(groove.right() - 4, groove.center().y()));
}

// The default locale for one test.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ShowWindow(); }

    // A new window, shown and active; a test that must prepare something
    // first (its language, say) overrides SetUp and calls this itself.
    void ShowWindow()
    {
        form = std::make_unique<TZARIDOForm1>();
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override
    {
        form.reset();
    }

    void OpenPort()
    {
        form->ComPort1->SetPort(QString::fromStdString(pty.SlavePath()));
        form->ComPort1->OpenPort();
        ASSERT_TRUE(form->ComPort1->Connected());
    }

    // What reached the board; waits a little beyond `expected` so that
    // trailing extra bytes are caught too.
    std::string Line(const std::string& expected)
    {
        return pty.Receive(expected.size() + 1, std::chrono::milliseconds(250));
    }

    // Keys go to the control that has the focus, as from a keyboard.
    void Key(QWidget* control, Qt::Key key)
    {
        control->setFocus();
        QTest::keyClick(control, key);
    }

    PtyPair pty;
    std::unique_ptr<TZARIDOForm1> form;
};
