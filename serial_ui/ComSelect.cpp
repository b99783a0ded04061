// The port-property selectors and their drop-down control.
#include "serial_ui/ComSelect.h"

#include "framework/ErrorDisplay.h"
#include "framework/FormReadError.h"
#include "serial/ComPortList.h"
#include "serial/ComPortWatch.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>

// ---- TComSelect -------------------------------------------------------------

namespace {

template <class E>
QStringList EnumTexts(E first, E last, QString (*text)(E))
{
    QStringList items;
    for (int value = first; value <= last; ++value)
        items.append(text(static_cast<E>(value)));
    return items;
}

} // namespace

void TComItemList::AssignPorts(const QList<TSerialPortInfo>& ports)
{
    QStringList names;
    for (const TSerialPortInfo& port : ports)
        names.append(port.Name);
    Assign(names);
}

void TComSelect::FillItems(TComProperty property)
{
    comProperty_ = property;
    ItemList->Clear();
    switch (property) {
    case cpNone:
        break;
    case cpPort: {
        QList<TSerialPortInfo> ports;
        ListSerialPorts(ports);
        ItemList->AssignPorts(ports);
        break;
    }
    case cpBaudRate:
        ItemList->Assign(EnumTexts(brCustom, br256000, BaudRateText));
        break;
    case cpDataBits:
        ItemList->Assign(EnumTexts(dbFive, dbEight, DataBitsText));
        break;
    case cpStopBits:
        ItemList->Assign(EnumTexts(sbOneStopBit, sbTwoStopBits, StopBitsText));
        break;
    case cpParity:
        ItemList->Assign(EnumTexts(prNone, prSpace, ParityText));
        break;
    case cpFlowControl:
        ItemList->Assign(EnumTexts(fcHardware, fcCustom, FlowControlText));
        break;
    }
}

void TComSelect::StoreItemValue(const QString& text)
{
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        ChosenPort = text;
        break;
    case cpBaudRate:
        ChosenBaudRate = ParseBaudRate(text);
        break;
    case cpDataBits:
        ChosenDataBits = ParseDataBits(text);
        break;
    case cpStopBits:
        ChosenStopBits = ParseStopBits(text);
        break;
    case cpParity:
        ChosenParity = ParseParity(text);
        break;
    case cpFlowControl:
        ChosenFlowControl = ParseFlowControl(text);
        break;
    }
}

void TComSelect::AcceptText(const QString& text)
{
    StoreItemValue(text);
    if (autoApply_)
        CommitToPort();
}

void TComSelect::CommitToPort()
{
    if (!comPort_)
        return;
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        comPort_->SetPort(ChosenPort);
        break;
    case cpBaudRate:
        comPort_->SetBaudRate(ChosenBaudRate);
        break;
    case cpDataBits:
        comPort_->SetDataBits(ChosenDataBits);
        break;
    case cpStopBits:
        comPort_->SetStopBits(ChosenStopBits);
        break;
    case cpParity:
        comPort_->Parity()->SetBits(ChosenParity);
        break;
    case cpFlowControl:
        comPort_->FlowControl()->SetFlowControl(ChosenFlowControl);
        break;
    }
}

QString TComSelect::PortValueText() const
{
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        return comPort_->Port();
    case cpBaudRate:
        return BaudRateText(comPort_->BaudRate());
    case cpDataBits:
        return DataBitsText(comPort_->DataBits());
    case cpStopBits:
        return StopBitsText(comPort_->StopBits());
    case cpParity:
        return ParityText(comPort_->Parity()->Bits());
    case cpFlowControl:
        return FlowControlText(comPort_->FlowControl()->FlowControl());
    }
    return QString();
}

std::optional<int> TComSelect::LoadFromPort()
{
    if (!comPort_ || comProperty_ == cpNone)
        return std::nullopt;
    const QString value = PortValueText();
    for (int index = 0; index < ItemList->Count(); ++index) {
        const QString item = ItemList->Item(index);
        if (item.compare(value, Qt::CaseInsensitive) == 0) {
            // The item's own spelling wins: a port opened as "com3" takes
            // the registered "COM3".
            StoreItemValue(item);
            return index;
        }
    }
    return -1;
}

// ---- TComComboBox -----------------------------------------------------------

class TComComboBox::ItemListAdapter : public TComItemList {
public:
    explicit ItemListAdapter(QComboBox& box) : box_(box) {}
    void Clear() override { box_.clear(); }
    void Assign(const QStringList& items) override
    {
        box_.clear();
        box_.addItems(items);
    }
    void AssignPorts(const QList<TSerialPortInfo>& ports) override
    {
        box_.clear();
        for (const TSerialPortInfo& port : ports) {
            box_.addItem(port.Name);
            const int row = box_.count() - 1;
            box_.setItemData(row, port.Description, DescriptionRole);
            box_.setItemData(row, port.StableName, StableNameRole);
            QStringList tip;
            if (!port.Description.isEmpty())
                tip.append(port.Description);
            if (!port.StableName.isEmpty())
                tip.append(port.StableName);
            box_.setItemData(row, tip.join('\n'), Qt::ToolTipRole);
        }
        // The drop-down opens as wide as its names and descriptions need,
        // which is wider than the selector in its dialog.
        QAbstractItemView* view = box_.view();
        view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width() +
                              2 * view->frameWidth());
    }
    int Count() const override { return box_.count(); }
    QString Item(int index) const override { return box_.itemText(index); }

private:
    QComboBox& box_;
};

// Draws a port's description after its name, the names in one column so
// that the descriptions line up, in the muted colour of secondary text.
class TComComboBox::PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString description = index.data(DescriptionRole).toString();
        if (description.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        text.setLeft(text.left() + NameColumn(item, index));
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(QPalette::Active, (item.state & QStyle::State_Selected)
                                                                 ? QPalette::HighlightedText
                                                                 : QPalette::PlaceholderText));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          item.fontMetrics.elidedText(description, Qt::ElideRight, text.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QString description = index.data(DescriptionRole).toString();
        if (description.isEmpty())
            return size;
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const int name = item.fontMetrics.horizontalAdvance(item.text);
        size.setWidth(size.width() - name + NameColumn(item, index) +
                      item.fontMetrics.horizontalAdvance(description));
        return size;
    }

private:
    // The widest name in the list and a gap of two letters.
    static int NameColumn(const QStyleOptionViewItem& item, const QModelIndex& index)
    {
        int widest = 0;
        const QAbstractItemModel* model = index.model();
        for (int row = 0; row < model->rowCount(index.parent()); ++row)
            widest = std::max(widest, item.fontMetrics.horizontalAdvance(
                                          model->index(row, index.column(), index.parent()).data().toString()));
        return widest + 2 * item.fontMetrics.horizontalAdvance(QLatin1Char('M'));
    }
};

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent), items_(std::make_unique<ItemListAdapter>(*this)),
      select_(std::make_unique<TComSelect>())
{
    select_->ItemList = items_.get();
    setEditable(false);
    // activated is raised only by the operator's choice (mouse or keys),
    // never by a selection the program makes.
    connect(this, &QComboBox::activated, this, [this](int) { GuardedCall([this] { Change(); }); });
    setItemDelegate(new PortItemDelegate(this));
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { GuardedCall([this] { ShowChosenPort(); }); });
}

TComComboBox::~TComComboBox() = default;

void TComComboBox::ShowChosenPort()
{
    if (ComProperty() != cpPort)
        return;
    const int index = currentIndex();
    setToolTip(index >= 0 ? itemData(index, Qt::ToolTipRole).toString() : QString());
    if (!refreshing_)
        keptPort_ = index >= 0 ? itemText(index) : QString();
}

void TComComboBox::RefreshPorts()
{
    if (ComProperty() != cpPort)
        return;
    QList<TSerialPortInfo> ports;
    try {
        ListSerialPorts(ports);
    } catch (const EComPort&) {
        // Nobody asked for this reading: a list that cannot be read now
        // leaves the one on screen as it is, without a message box.
        return;
    }
    bool same = ports.size() == count();
    for (int row = 0; same && row < count(); ++row)
        same = ports[row].Name == itemText(row) &&
               ports[row].Description == itemData(row, DescriptionRole).toString() &&
               ports[row].StableName == itemData(row, StableNameRole).toString();
    if (same)
        return;
    const QScopedValueRollback<bool> refreshing(refreshing_, true);
    items_->AssignPorts(ports);
    setCurrentIndex(-1);
    for (int row = 0; row < count(); ++row)
        if (itemText(row).compare(keptPort_, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(row);
            break;
        }
}

void TComComboBox::setComPort(TCustomComPort* port)
{
    TCustomComPort* const bound = select_->ComPort();
    if (port == bound)
        return;
    if (bound)
        bound->RemoveFreeNotification(this);
    select_->SetComPort(port);
    if (port) {
        port->FreeNotification(this);
        LoadFromPort();
    }
}

void TComComboBox::setComProperty(TComProperty property)
{
    ReadingProperty(this, "ComProperty", [&] {
        if (property != cpPort && watch_) {
            watch_.reset();
            setToolTip(QString());
        }
        select_->FillItems(property);
        ShowChosenPort();
        if (property == cpPort && !watch_) {
            watch_ = std::make_unique<TPortListWatch>();
            watch_->OnChange = [this] { RefreshPorts(); };
        }
        if (count() == 0)
            return;
        if (select_->ComPort())
            LoadFromPort();
        else
            setCurrentIndex(0);
    });
}

QString TComComboBox::Text() const
{
    const int index = currentIndex();
    return index >= 0 ? itemText(index) : QString();
}

void TComComboBox::setText(const QString& text)
{
    for (int index = 0; index < count(); ++index) {
        if (itemText(index).compare(text, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(index);
            return;
        }
    }
}

void TComComboBox::LoadFromPort()
{
    if (const std::optional<int> index = select_->LoadFromPort())
        setCurrentIndex(*index);
}

void TComComboBox::CommitToPort()
{
    select_->CommitToPort();
}

void TComComboBox::Change()
{
    select_->AcceptText(Text());
    if (OnChange)
        OnChange(this);
}

void TComComboBox::Notification(TComponent* component, TOperation operation)
{
    TFreeNotifyTarget::Notification(component, operation);
    if (operation == opRemove && component == select_->ComPort()) {
        // The port is going: forget it without calling it again.
        select_->SetComPort(nullptr);
        if (count() > 0)
            setCurrentIndex(0);
    }
}
