// A drop-down list whose items the walk can reach.
#include "ItemsCombo.h"

#include "framework/ErrorDisplay.h"

TItemsCombo::TItemsCombo(QWidget* parent) : QComboBox(parent), items_(new TStrings(this))
{
    connect(items_, &TStrings::Changed, this, [this] {
        GuardedCall([this] {
            if (syncing_)
                return;
            const int current = currentIndex();
            clear();
            addItems(items_->Lines());
            setCurrentIndex(current < count() ? current : -1);
        });
    });
}

TStrings* TItemsCombo::Items()
{
    // The form adds its items to the combo box itself; the list follows.
    QStringList lines;
    for (int i = 0; i < count(); ++i)
        lines.append(itemText(i));
    if (lines != items_->Lines()) {
        syncing_ = true;
        items_->SetText(lines.join(QStringLiteral("\r\n")));
        syncing_ = false;
    }
    return items_;
}
