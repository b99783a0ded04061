// Shows the main window on whatever screen the platform gives and prints
// where it went: "frame X Y W H" and "available X Y W H".
#include "panel/ZARIDO_CNTL.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setFont(TZARIDOForm1::WindowFont());
    TZARIDOForm1 window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const QRect frame = window.frameGeometry();
    const QRect available = window.screen()->availableGeometry();
    std::printf("frame %d %d %d %d\navailable %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height(),
                available.x(), available.y(), available.width(), available.height());
    return 0;
}
