// A drop-down list that publishes its items as a list of lines, as the
// port selectors do, so that a walk that is not told to skip it reaches
// and translates them.
#pragma once

#include "framework/Strings.h"

#include <QComboBox>

class TItemsCombo : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(TStrings* Items READ Items)

public:
    explicit TItemsCombo(QWidget* parent = nullptr);
    TStrings* Items();

private:
    TStrings* items_;
    bool syncing_ = false;
};
