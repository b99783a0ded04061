// The yardsticks of the start-up benchmark: a bare QMainWindow of the
// panel's size, shown, reporting like the panel's unattended run. With
// RVD3318_BARE_CAPTION=1 it also shows one caption in the panel's font: the
// least any window with text pays for its font.
#include "app/Unattended.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const bool caption = qEnvironmentVariableIntValue("RVD3318_BARE_CAPTION") == 1;
    if (caption) {
        // The panel's font (its library is not linked: the yardstick stays bare).
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(11);
        QApplication::setFont(font);
    }
    QMainWindow window;
    window.resize(696, 294);
    if (caption)
        (new QLabel(QStringLiteral("Select Operating Mode"), &window))->move(8, 8);
    window.show();
    WhenFirstPainted(&window, [&window] {
        std::printf("shown %ld\n", ResidentKilobytes());
        std::fflush(stdout);
        window.close();
    });
    return QApplication::exec();
}
