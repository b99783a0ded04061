#include "app/Unattended.h"

#include "framework/ErrorDisplay.h"
#include "panel/ZARIDO_CNTL.h"

#include <QEvent>
#include <QFile>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace {

class TFirstPaint : public QObject {
public:
    TFirstPaint(QWidget* window, std::function<void()> action)
        : QObject(window)
        , action_(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        GuardedCall([&] {
            if (event->type() != QEvent::Paint || done_)
                return;
            done_ = true;
            watched->removeEventFilter(this);
            // After the paint has been flushed to the screen.
            QTimer::singleShot(0, this, [this] {
                GuardedCall(action_);
                deleteLater();
            });
        });
        return false;
    }

private:
    std::function<void()> action_;
    bool done_ = false;
};

// How long a screenshot run lets the board answer before the picture.
constexpr int ScreenshotDelayMs = 500;

} // namespace

void WhenFirstPainted(QWidget* window, std::function<void()> action)
{
    new TFirstPaint(window, std::move(action));
}

long ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

void StartUnattendedRun(TZARIDOForm1* window)
{
    const QString port = qEnvironmentVariable("RVD3318_PANEL_OPEN");
    const QString screenshot = qEnvironmentVariable("RVD3318_PANEL_SCREENSHOT");
    const bool exitWhenShown = qEnvironmentVariableIntValue("RVD3318_PANEL_EXIT_WHEN_SHOWN") != 0;
    if (port.isEmpty() && screenshot.isEmpty() && !exitWhenShown)
        return;

    QPointer<TZARIDOForm1> target(window);
    WhenFirstPainted(window, [target, port, screenshot, exitWhenShown] {
        if (!target)
            return;
        if (exitWhenShown) {
            std::printf("shown %ld\n", ResidentKilobytes());
            std::fflush(stdout);
            target->close();
            return;
        }
        if (!port.isEmpty()) {
            target->ComPort1->SetPort(port);
            GuardedCall([&] { target->TogglePort(); });
        }
        if (screenshot.isEmpty())
            return;
        QTimer::singleShot(ScreenshotDelayMs, target, [target, screenshot] {
            GuardedCall([&] {
                if (!target)
                    return;
                if (target->grab().save(screenshot, "PNG"))
                    std::printf("screenshot saved to %s\n", qPrintable(screenshot));
                else
                    std::fprintf(stderr, "rvd3318-panel: cannot save a screenshot to %s\n", qPrintable(screenshot));
                std::fflush(stdout);
                target->close();
            });
        });
    });
}
