// SIGINT, SIGTERM and SIGHUP end the program the way the operator does: a
// message box waiting for OK is closed, then the main window, so the port
// is closed and the modules shut down in order. (Ctrl-C in the terminal
// that started the panel, a desktop session ending, `kill`.)
#pragma once

#include <QObject>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT

public:
    // Needs the QApplication. Only one may exist.
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

private:
    void Handle();

    QSocketNotifier* notifier_ = nullptr;
};
