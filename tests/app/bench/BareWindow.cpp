// The yardstick of the start-up benchmark: a bare QMainWindow of the
// panel's size, shown, reporting like the panel's unattended run.
#include "app/Unattended.h"

#include <QApplication>
#include <QMainWindow>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(696, 294);
    window.show();
    WhenFirstPainted(&window, [&window] {
        std::printf("shown %ld\n", ResidentKilobytes());
        std::fflush(stdout);
        window.close();
    });
    return QApplication::exec();
}
