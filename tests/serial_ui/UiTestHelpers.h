// What the selector and dialog tests share: a port list the test feeds,
// captured error displays (ErrorCapture), choosing an item as an operator
// does, and a click that waits in the event queue.
#pragma once

#include "serial/ComPortList.h"
#include "serial_ui/ComSelect.h"
#include "tests/support/Capture.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// Makes ListSerialPorts see `names` (or fail with `error`) while it lives.
class FedPortList {
public:
    explicit FedPortList(std::vector<std::string> names, int error = 0)
    {
        previous_ = SetPortNameSource([names = std::move(names), error](std::vector<std::string>& out) {
            out = names;
            return error;
        });
    }
    ~FedPortList() { SetPortNameSource(std::move(previous_)); }
    FedPortList(const FedPortList&) = delete;
    FedPortList& operator=(const FedPortList&) = delete;

private:
    TPortNameSource previous_;
};

// Makes the port lists see `ports`, with what each one is, while it lives.
class FedPortInfos {
public:
    explicit FedPortInfos(QList<TSerialPortInfo> ports)
    {
        previous_ = SetPortInfoSource([ports = std::move(ports)](QList<TSerialPortInfo>& out) {
            out = ports;
            return 0;
        });
    }
    ~FedPortInfos() { SetPortInfoSource(std::move(previous_)); }
    FedPortInfos(const FedPortInfos&) = delete;
    FedPortInfos& operator=(const FedPortInfos&) = delete;

private:
    TPortInfoSource previous_;
};

// Opens the drop-down of a shown selector with F4, walks to the item with
// the arrow keys and takes it with Return, as an operator at the keyboard.
inline void ChooseItem(QComboBox* combo, const QString& text)
{
    const int target = combo->findText(text, Qt::MatchFixedString);
    ASSERT_GE(target, 0) << "no item " << text.toStdString();
    ASSERT_TRUE(combo->isVisible());
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F4);
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(view->isVisible()) << "the drop-down did not open";
    QTest::keyClick(view, Qt::Key_Home);
    for (int row = 0; row < target; ++row)
        QTest::keyClick(view, Qt::Key_Down);
    ASSERT_EQ(view->currentIndex().row(), target);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_FALSE(view->isVisible()) << "the drop-down stayed open";
}

// Queues a left click in the middle of `target`, to be delivered when the
// event loop next runs, as a click the operator made while the program was
// busy.
inline void QueueClick(QWidget* target)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(at);
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}
