// The modal dialog in which the operator chooses device name and line
// format for one port: six selectors, OK and Cancel. Built from
// ComSetupDialog.ui for each showing.
#pragma once

#include <QDialog>

#include <array>
#include <memory>

class QKeyEvent;
class QShowEvent;
class TComComboBox;

namespace Ui {
class TComSetupFrm;
}

class TComSetupFrm : public QDialog {
    Q_OBJECT

public:
    // Modal results.
    enum { mrOk = 1, mrCancel = 2 };

    // Builds the form. An error while it is built (the port list cannot be
    // read, say) leaves as an EReadError naming the component and
    // property, and nothing of the dialog remains.
    explicit TComSetupFrm(QWidget* parent = nullptr);
    ~TComSetupFrm() override;

    // The selectors in the order the port's properties are written:
    // Combo1 (device name) to Combo6 (flow control).
    std::array<TComComboBox*, 6> Selectors() const;

    // Creation handler: translates the dialog's captions in the domain
    // "cport", leaving the six selectors as they are.
    Q_INVOKABLE void FormCreate(QObject* Sender);

public slots:
    // Closing the window by its title bar (or any other way out but OK)
    // is Cancel.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TComSetupFrm> ui_;
    bool centred_ = false;
};
