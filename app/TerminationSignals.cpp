// A request to end turned into an orderly close of the window.
#include "app/TerminationSignals.h"

#include <QApplication>
#include <QWidget>

void TTerminationSignals::CloseAll()
{
    // Boxes first: a window does not close while its modal box runs.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    QApplication::closeAllWindows();
}
