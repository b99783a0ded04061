// What the selector and dialog tests share: a port list the test feeds,
// captured error displays (ErrorCapture), and choosing an item as an
// operator does.
#pragma once

#include "serial/ComPortList.h"
#include "serial_ui/ComSelect.h"
#include "tests/support/Capture.h"

#include <QAbstractItemView>
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
