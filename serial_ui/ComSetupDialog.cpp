// The setup dialog built from its form.
#include "serial_ui/ComSetupDialog.h"

#include "framework/Component.h"
#include "framework/ErrorDisplay.h"
#include "i18n/ComponentTranslation.h"
#include "serial_ui/ComSelect.h"
#include "ui_ComSetupDialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TComSetupFrm>())
{
    {
        // The selectors' lists are built while the form is read; an error
        // there names the selector and property (see ReadingProperty).
        TFormLoading loading;
        ui_->setupUi(this);
    }
    // The layout is laid out in pixels for a font 11 pixels high; the
    // desktop's usual size would cut the captions off.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    // A dialog border: fixed size, a close box, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    // The operator comes for the port first: typing its first letters
    // picks it. Without a focus of its own the dialog would give it to
    // the default button.
    ui_->Combo1->setFocus();

    connect(ui_->Button1, &QPushButton::clicked, this, [this] { GuardedCall([this] { done(mrOk); }); });
    connect(ui_->Button2, &QPushButton::clicked, this, [this] { GuardedCall([this] { done(mrCancel); }); });

    // A failed translation is shown and the dialog opens with what was
    // translated before it.
    GuardedCall([this] { FormCreate(this); });
}

TComSetupFrm::~TComSetupFrm() = default;

std::array<TComComboBox*, 6> TComSetupFrm::Selectors() const
{
    return {ui_->Combo1, ui_->Combo2, ui_->Combo3, ui_->Combo4, ui_->Combo5, ui_->Combo6};
}

void TComSetupFrm::FormCreate(QObject*)
{
    // The selectors' items are the settings' own texts and the system's
    // port names, which they match and parse: never translate them.
    for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6"})
        TP_Ignore(this, name);
    TranslateObjectTree(this, "cport");
}

void TComSetupFrm::reject()
{
    GuardedCall([this] { done(mrCancel); });
}

void TComSetupFrm::keyPressEvent(QKeyEvent* event)
{
    // Qt's dialogs close on Escape; this one is left only by OK, Cancel or
    // the title bar, so an Escape meant for a closed drop-down loses nothing.
    GuardedCall([&] {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            event->ignore();
            return;
        }
        QDialog::keyPressEvent(event);
    });
}

void TComSetupFrm::showEvent(QShowEvent* event)
{
    GuardedCall([&] {
        QDialog::showEvent(event);
        if (centred_)
            return;
        centred_ = true;
        // Centred on the screen, not on whatever window happens to be active.
        if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    });
}
