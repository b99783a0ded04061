// The system's requests to end the program end it the way the operator
// does: a message box waiting for OK is closed, then the main window, so
// the port is closed and the modules shut down in order. On Linux SIGINT,
// SIGTERM and SIGHUP (Ctrl-C in the terminal that started the panel, a
// desktop session ending, `kill`); on Windows Ctrl-C or Ctrl-Break in its
// console, the console closed, the user logging off or the system shutting
// down.
#pragma once

#include <QObject>

#include <memory>

class TTerminationSignals : public QObject {
    Q_OBJECT

public:
    // Needs the QApplication. Only one may exist.
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

    // Closes the boxes, then the windows. On the main thread.
    static void CloseAll();

private:
    // The platform's side (app/posix, app/win32).
    class Platform;
    std::unique_ptr<Platform> platform_;
};
