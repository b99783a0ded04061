// Answers the message boxes a test's action opens, as the operator would,
// and records what each showed.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

struct AnsweredBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool applicationModal = false;
    QString informativeText; // the lines under the text
};

// Runs `action`; every message box that opens meanwhile is read and closed
// with its OK button.
inline std::vector<AnsweredBox> AnswerBoxes(const std::function<void()>& action)
{
    std::vector<AnsweredBox> boxes;
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        boxes.push_back({box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size()),
                         box->windowModality() == Qt::ApplicationModal, box->informativeText()});
        box->button(QMessageBox::Ok)->click();
    });
    watcher.start();
    action();
    watcher.stop();
    return boxes;
}
