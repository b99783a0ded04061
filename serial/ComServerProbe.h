// Asking a serial server whether it accepts connections again, without
// blocking the caller: what waits for a lost network port uses it, so that
// a host that does not answer never stalls the window.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TServerProbe : public QObject {
    Q_OBJECT

public:
    explicit TServerProbe(QObject* parent = nullptr);
    ~TServerProbe() override;

    // Starts asking the server that the network port `name` leads to;
    // OnAnswer follows on this thread, once, unless Cancel comes first. A
    // question in progress is dropped for the new one. The connection made
    // to ask is closed again at once.
    void Ask(const QString& name);
    void Cancel();
    bool Asking() const;

    // Whether the server accepted a connection.
    std::function<void(bool accepts)> OnAnswer;

private:
    void Answer(bool accepts);
    void Connected();

    // The socket being connected (a descriptor, or a Winsock SOCKET), -1
    // when none.
    qintptr socket_ = -1;
    QObject* watch_ = nullptr; // the platform's watch on the connect (ComServerProbeWatch.h)
    QTimer timeout_;
    QTimer immediate_;
    bool immediateAnswer_ = false;
};
