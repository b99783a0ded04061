// The connection LED: a small lamp on a window that shows one signal of a
// serial port (open, a modem input line, a ring, receive or transmit
// activity) as on or off. Bound to a port it follows the port through a
// listener of its own; unbound it shows whatever State is set to.
#pragma once

#include "framework/Component.h"
#include "framework/Timer.h"
#include "serial/CPort.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>


enum TLedKind : std::uint8_t {
    lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb, lkCustom
};

enum TComLedSignal : std::uint8_t { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };

enum TLedState : std::uint8_t { lsOff, lsOn };

using TLedStateEvent = std::function<void(QObject* Sender, TLedState AState)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

class TComLed : public QWidget, public TFreeNotifyTarget {
    Q_OBJECT
    Q_PROPERTY(TComPort* ComPort READ ComPort WRITE SetComPort)
    Q_PROPERTY(TComLedSignal LedSignal READ LedSignal WRITE SetLedSignal)
    Q_PROPERTY(TLedKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(QPixmap GlyphOn READ GlyphOn WRITE SetGlyphOn)
    Q_PROPERTY(QPixmap GlyphOff READ GlyphOff WRITE SetGlyphOff)
    Q_PROPERTY(TLedState State READ State WRITE SetState)
    Q_PROPERTY(std::int32_t RingDuration READ RingDuration WRITE SetRingDuration)

public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    // The port whose signal the lamp shows; not owned. Binding to an open
    // port reads the signal at once; unbinding puts the lamp out.
    TComPort* ComPort() const { return static_cast<TComPort*>(comPort_); }
    void SetComPort(TComPort* value);

    // Choosing another signal takes effect with that signal's next report:
    // the lamp keeps showing the old one until then.
    TComLedSignal LedSignal() const { return ledSignal_; }
    void SetLedSignal(TComLedSignal value);

    TLedKind Kind() const { return kind_; }
    void SetKind(TLedKind value);

    // The LED's own glyphs. Writing them is honoured only with lkCustom
    // (and ignored otherwise); the colour of the given bitmap's bottom-left
    // pixel becomes transparent.
    const QPixmap& GlyphOn() const { return glyphs_[lsOn]; }
    void SetGlyphOn(const QPixmap& value);
    const QPixmap& GlyphOff() const { return glyphs_[lsOff]; }
    void SetGlyphOff(const QPixmap& value);

    // Writable only while no port is bound (EComPort code 19 otherwise).
    TLedState State() const { return state_; }
    void SetState(TLedState value);

    // How long a ring keeps the lamp lit, in milliseconds; 0 keeps it lit
    // until another state is applied.
    std::int32_t RingDuration() const { return ringTimer_->Interval(); }
    void SetRingDuration(std::int32_t value);

    // The timer that puts the lamp out after a ring (read-only view).
    const QTimer* RingTimer() const { return &ringTimer_->Ticker(); }

    QSize sizeHint() const override;

    TLedStateEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;

protected:
    void Notification(TComponent* component, TOperation operation) override;

    // The state-change notification: OnChange with the LED and the state.
    virtual void DoChange(TLedState state);

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Bind(TCustomComPort* value);
    void ApplyState(TLedState state);
    void SignalChanged(QObject* sender, bool onOff);
    void RingReceived(QObject* sender);
    void RingElapsed();
    bool SignalIsOn();
    void LoadKindGlyphs(TLedKind kind);
    const QPixmap& CurrentGlyph() const;
    void SetGlyph(TLedState which, const QPixmap& value);
    // True while a stored form description that created this LED is
    // still being loaded.
    bool IsLoading() const;

    // Kept as the base class: the removal notice comes from the base's
    // destructor, when the port is no longer a whole TComPort.
    TCustomComPort* comPort_ = nullptr;
    TComLedSignal ledSignal_ = lsConn;
    TLedKind kind_ = lkRedLight;
    TLedState state_ = lsOff;
    std::array<QPixmap, 2> glyphs_;  // indexed by TLedState: off, on
    std::unique_ptr<TComLink> link_;
    std::unique_ptr<TTimer> ringTimer_;
    bool createdWhileLoading_ = false;
    bool pressed_ = false;
};
