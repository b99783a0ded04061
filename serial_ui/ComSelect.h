// Drop-down selectors for one property of a serial port: TComSelect holds
// the logic (item list, the stored choice, reading and writing the bound
// port); TComComboBox is the control the operator uses.
#pragma once

#include "framework/Component.h"
#include "serial/ComPort.h"
#include "serial/ComPortList.h"

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Which port property a selector shows and edits.
enum TComProperty : std::uint8_t {
    cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl
};

// The list a TComSelect fills: its control's own item list.
class TComItemList {
public:
    virtual ~TComItemList() = default;
    virtual void Clear() = 0;
    virtual void Assign(const QStringList& items) = 0;
    // The port list: each item is the port's name, shown with what the
    // port is where the list can show it.
    virtual void AssignPorts(const QList<TSerialPortInfo>& ports);
    virtual int Count() const = 0;
    virtual QString Item(int index) const = 0;
};

class TComSelect {
public:
    // The stored choice, one field per property. A fresh selector stores
    // the empty name and the first value of each enumeration.
    QString ChosenPort;
    TBaudRate ChosenBaudRate = brCustom;
    TDataBits ChosenDataBits = dbFive;
    TStopBits ChosenStopBits = sbOneStopBit;
    TParityBits ChosenParity = prNone;
    TFlowControl ChosenFlowControl = fcHardware;

    // Not owned; the control sets it right after creating the selector.
    TComItemList* ItemList = nullptr;

    TComProperty ComProperty() const { return comProperty_; }
    // The bound port, not owned. Whoever binds it watches it for removal.
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool value) { autoApply_ = value; }

    // Stores `property` and rebuilds the item list for it. For cpPort the
    // system's port list is read; its EComPort (code 23) passes out with
    // the list left empty.
    void FillItems(TComProperty property);
    // Stores the value `text` names for the current property (a text that
    // names nothing stores the parser's fallback); then, with AutoApply,
    // writes it to the port.
    void AcceptText(const QString& text);
    // Writes the stored value of the current property into the bound port
    // through the port's ordinary property write; nothing when unbound.
    void CommitToPort();
    // Finds the port's present value among the items (letter case
    // ignored), stores the value the item names and gives back its index;
    // -1 when no item matches (the stored choice is then kept). Nothing at
    // all when no port is bound or the property is cpNone.
    std::optional<int> LoadFromPort();

private:
    QString PortValueText() const;
    void StoreItemValue(const QString& itemText);

    TComProperty comProperty_ = cpNone;
    TCustomComPort* comPort_ = nullptr;
    bool autoApply_ = false;
};

// The visible selector. Its list is always built from ComProperty and is
// never stored in a form; the operator picks an item and cannot type.
//
// The property setters carry the names a form compiled from a .ui file
// calls (setComProperty for ComProperty, and so on).
class TPortListWatch;

class TComComboBox : public QComboBox, public TFreeNotifyTarget {
    Q_OBJECT
    Q_PROPERTY(TCustomComPort* ComPort READ ComPort WRITE setComPort STORED false)
    Q_PROPERTY(TComProperty ComProperty READ ComProperty WRITE setComProperty)
    Q_PROPERTY(bool AutoApply READ AutoApply WRITE setAutoApply)
    Q_PROPERTY(QString Text READ Text WRITE setText)

public:
    explicit TComComboBox(QWidget* parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort* ComPort() const { return select_->ComPort(); }
    // Binds `port` (none unbinds, keeping list and selection), asks it for
    // a removal notice and shows its present value.
    void setComPort(TCustomComPort* port);

    TComProperty ComProperty() const { return select_->ComProperty(); }
    // Rebuilds the list; selects the bound port's value, or item 0.
    void setComProperty(TComProperty property);

    bool AutoApply() const { return select_->AutoApply(); }
    void setAutoApply(bool value) { select_->SetAutoApply(value); }

    // The selected item's text, or "" when nothing is selected.
    QString Text() const;
    // Selects the item whose text equals `text` (letter case ignored);
    // moves the selection only, the stored choice stays.
    void setText(const QString& text);

    // Shows the bound port's present value and stores it as the choice.
    void LoadFromPort();
    // Writes the stored choice into the bound port.
    void CommitToPort();

    // Raised after the operator chose an item and the choice was stored
    // (and, with AutoApply, written without error).
    TNotifyEvent OnChange;

    // The port list's items carry what each port is: the description (this
    // role) beside the name in the drop-down, and description and stable
    // name as the item's tool tip, which the selector shows for the chosen
    // one.
    static constexpr int DescriptionRole = Qt::UserRole + 1;
    static constexpr int StableNameRole = Qt::UserRole + 2;

    // Reads the port list again, keeping the selected port selected (and a
    // selected port that went away selected again when it comes back); the
    // stored choice stays. A device monitor runs this by itself while the
    // selector lists ports. The list stays as it is when it cannot be read.
    void RefreshPorts();

    TComSelect& Select() { return *select_; }
    const TComSelect& Select() const { return *select_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // The operator chose an item.
    virtual void Change();

private:
    class ItemListAdapter;
    class PortItemDelegate;

    void ShowChosenPort();

    std::unique_ptr<ItemListAdapter> items_;
    std::unique_ptr<TComSelect> select_;
    std::unique_ptr<TPortListWatch> watch_;
    // The port to select again once it is back in the list.
    QString keptPort_;
    bool refreshing_ = false;
};
