// The steps of an unattended run, taken from the environment.
#include "app/Unattended.h"

#include "framework/ErrorDisplay.h"
#include "panel/ZARIDO_CNTL.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
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

void PrintLine(const char* kind, const QString& text)
{
    std::printf("%s %s\n", kind, text.toUtf8().constData());
}

// The texts a person sees in `dialog`, in the order of its widget tree.
void ReportDialog(QDialog* dialog)
{
    PrintLine("dialog", dialog->windowTitle());
    for (QWidget* part : dialog->findChildren<QWidget*>()) {
        if (!part->isVisibleTo(dialog))
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(part))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(part))
            text = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(part))
            text = group->title();
        if (!text.isEmpty())
            PrintLine("text", text);
    }
    std::printf("end dialog\n");
    std::fflush(stdout);
}

// Watches for modal dialogs and message boxes, reports each once and
// closes it as Cancel (a message box by its escape button, or its only one).
class TDialogReporter : public QObject {
public:
    explicit TDialogReporter(QObject* owner)
        : QObject(owner)
    {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] { GuardedCall([this] { Check(); }); });
        timer_.start();
    }

private:
    void Check()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        ReportDialog(dialog);
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            QAbstractButton* way = box->escapeButton();
            if (way == nullptr && box->buttons().size() == 1)
                way = box->buttons().front();
            if (way != nullptr) {
                way->click();
                return;
            }
        }
        dialog->reject();
    }

    QTimer timer_;
};

} // namespace

void WhenFirstPainted(QWidget* window, std::function<void()> action)
{
    new TFirstPaint(window, std::move(action));
}

void StartUnattendedRun(TZARIDOForm1* window)
{
    const QString port = qEnvironmentVariable("RVD3318_PANEL_OPEN");
    const QString screenshot = qEnvironmentVariable("RVD3318_PANEL_SCREENSHOT");
    const bool exitWhenShown = qEnvironmentVariableIntValue("RVD3318_PANEL_EXIT_WHEN_SHOWN") != 0;
    const bool setup = qEnvironmentVariableIntValue("RVD3318_PANEL_SETUP") != 0;
    const bool reportDialogs = qEnvironmentVariableIntValue("RVD3318_PANEL_REPORT_DIALOGS") != 0;
    if (port.isEmpty() && screenshot.isEmpty() && !exitWhenShown && !setup && !reportDialogs)
        return;
    if (reportDialogs)
        new TDialogReporter(window);

    QPointer<TZARIDOForm1> target(window);
    WhenFirstPainted(window, [target, port, screenshot, exitWhenShown, setup, reportDialogs] {
        if (!target)
            return;
        if (exitWhenShown) {
            std::printf("shown %ld\n", ResidentKilobytes());
            std::fflush(stdout);
            target->close();
            return;
        }
        if (setup)
            target->FormatRS2321->trigger();
        if (!target)
            return;
        if (!port.isEmpty()) {
            target->ComPort1->SetPort(port);
            GuardedCall([&] { target->TogglePort(); });
        }
        if (screenshot.isEmpty()) {
            if (reportDialogs && target)
                target->close();
            return;
        }
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
