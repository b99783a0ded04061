#include "serial_ui/ComSelect.h"

#include "framework/ErrorDisplay.h"
#include "framework/FormReadError.h"
#include "serial/ComPortList.h"

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

void TComSelect::FillItems(TComProperty property)
{
    comProperty_ = property;
    ItemList->Clear();
    switch (property) {
    case cpNone:
        break;
    case cpPort: {
        QStringList names;
        ListSerialPorts(names);
        ItemList->Assign(names);
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
    int Count() const override { return box_.count(); }
    QString Item(int index) const override { return box_.itemText(index); }

private:
    QComboBox& box_;
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
}

TComComboBox::~TComComboBox() = default;

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
        select_->FillItems(property);
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
