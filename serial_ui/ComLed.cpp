// The connection LED: which signal of its port it shows, and its bitmaps.
#include "serial_ui/ComLed.h"

#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"

#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

// The glyphs live in a static library, whose resources the linker drops
// unless something refers to them; this is that reference. Outside any
// namespace, as the resource macro requires.
static void InitLedResources()
{
    Q_INIT_RESOURCE(led);
}

namespace {

constexpr int LedSize = 25;

// Resource names of the built-in glyphs, by kind: on, off.
constexpr const char* KindGlyphNames[][2] = {
    {"LEDREDON", "LEDREDOFF"},
    {"LEDGREENON", "LEDGREENOFF"},
    {"LEDBLUEON", "LEDBLUEOFF"},
    {"LEDYELLOWON", "LEDYELLOWOFF"},
    {"LEDPURPLEON", "LEDPURPLEOFF"},
    {"LEDBULBON", "LEDBULBOFF"},
};

// The automatic transparent colour: whatever the bottom-left pixel holds
// becomes fully transparent everywhere in the bitmap.
void MarkTransparent(QPixmap& bitmap)
{
    if (bitmap.isNull())
        return;
    QImage image = bitmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key)
                line[x] = 0;
        }
    }
    bitmap = QPixmap::fromImage(image);
}

QPixmap LoadGlyph(const char* name)
{
    static std::once_flag resources;
    std::call_once(resources, InitLedResources);
    // The format is named: a resource name without a suffix would make the
    // image reader load every image-format plug-in to find out.
    QPixmap bitmap(QStringLiteral(":/") + QLatin1String(name), "XPM");
    if (bitmap.isNull())
        throw Exception(std::string("Resource ") + name + " not found");
    MarkTransparent(bitmap);
    return bitmap;
}

} // namespace

TComLed::TComLed(QWidget* parent)
    : QWidget(parent),
      link_(std::make_unique<TComLink>()),
      createdWhileLoading_(TFormLoading::Current() != nullptr)
{
    resize(LedSize, LedSize);
    // Drawn on the parent's surface: only the glyph's opaque pixels are
    // painted, the parent's background shows everywhere else.
    setAutoFillBackground(false);
    setMouseTracking(true);
    link_->OnConnectionChange = [this](QObject* sender, bool onOff) { SignalChanged(sender, onOff); };
    // Enabled from a ring until it elapses; with an interval of 0 it is
    // enabled but never runs.
    ringTimer_ = std::make_unique<TTimer>();
    ringTimer_->SetEnabled(false);
    ringTimer_->OnTimer = [this](QObject*) { RingElapsed(); };
}

TComLed::~TComLed()
{
    ringTimer_.reset();
    // Unbinding tells whoever listens that the lamp went out; nothing of
    // that may escape a destructor.
    GuardedCall([this] { Bind(nullptr); });
    link_.reset();
}

QSize TComLed::sizeHint() const
{
    return QSize(LedSize, LedSize);
}

// ---- properties -----------------------------------------------------------------

void TComLed::SetComPort(TComPort* value)
{
    Bind(value);
}

void TComLed::Bind(TCustomComPort* value)
{
    if (value == comPort_)
        return;
    if (comPort_) {
        comPort_->UnregisterLink(link_.get());
        comPort_->RemoveFreeNotification(this);
    }
    comPort_ = value;
    if (!comPort_) {
        ApplyState(lsOff);
        return;
    }
    comPort_->FreeNotification(this);
    comPort_->RegisterLink(link_.get());
    // A closed port says nothing about its signals: the lamp keeps what it
    // shows until the port opens and reports.
    if (comPort_->Connected() && !IsLoading())
        ApplyState(SignalIsOn() ? lsOn : lsOff);
}

void TComLed::SetLedSignal(TComLedSignal value)
{
    if (value == ledSignal_)
        return;
    ledSignal_ = value;
    TComLink& link = *link_;
    link.OnCTSSignal = nullptr;
    link.OnDSRSignal = nullptr;
    link.OnRLSDSignal = nullptr;
    link.OnRingSignal = nullptr;
    link.OnTransmitActivity = nullptr;
    link.OnReceiveActivity = nullptr;
    link.OnConnectionChange = nullptr;
    const auto changed = [this](QObject* sender, bool onOff) { SignalChanged(sender, onOff); };
    switch (value) {
    case lsConn: link.OnConnectionChange = changed; break;
    case lsCTS: link.OnCTSSignal = changed; break;
    case lsDSR: link.OnDSRSignal = changed; break;
    case lsRLSD: link.OnRLSDSignal = changed; break;
    case lsRing: link.OnRingSignal = [this](QObject* sender) { RingReceived(sender); }; break;
    case lsRx: link.OnReceiveActivity = changed; break;
    case lsTx: link.OnTransmitActivity = changed; break;
    }
}

void TComLed::SetKind(TLedKind value)
{
    if (value == kind_)
        return;
    kind_ = value;
    LoadKindGlyphs(kind_);
    update();
}

void TComLed::SetGlyphOn(const QPixmap& value)
{
    SetGlyph(lsOn, value);
}

void TComLed::SetGlyphOff(const QPixmap& value)
{
    SetGlyph(lsOff, value);
}

void TComLed::SetGlyph(TLedState which, const QPixmap& value)
{
    if (kind_ != lkCustom)
        return;
    QPixmap bitmap = value;
    MarkTransparent(bitmap);
    glyphs_[which] = bitmap;
    update();
}

void TComLed::SetState(TLedState value)
{
    if (comPort_)
        throw EComPort(CError_LedStateFailed);
    ApplyState(value);
}

void TComLed::SetRingDuration(std::int32_t value)
{
    // A new interval restarts a running count, as any timer does.
    ringTimer_->SetInterval(value);
}

// ---- state ----------------------------------------------------------------------

void TComLed::ApplyState(TLedState state)
{
    // Stored and told every time, also when it does not change: a second
    // "on" is a second notification.
    state_ = state;
    if (!IsLoading())
        DoChange(state);
    update();
}

void TComLed::DoChange(TLedState state)
{
    if (OnChange)
        OnChange(this, state);
}

void TComLed::SignalChanged(QObject*, bool onOff)
{
    ApplyState(onOff ? lsOn : lsOff);
    // The lamp must show the change before the port operation that
    // reported it goes on (opening a port takes a while). Painting just
    // this control does that; running the event loop here instead would
    // let queued operator input, a second click on the port button say,
    // run in the middle of opening or closing the port.
    repaint();
}

void TComLed::RingReceived(QObject*)
{
    // Only the ring that lit the lamp counts: further rings while it is lit
    // do not lengthen the time.
    ringTimer_->SetEnabled(true);
    ApplyState(lsOn);
}

void TComLed::RingElapsed()
{
    ringTimer_->SetEnabled(false);
    ApplyState(lsOff);
}

bool TComLed::SignalIsOn()
{
    switch (ledSignal_) {
    case lsConn: return comPort_ && comPort_->Connected();
    case lsCTS: return comPort_->ModemSignals().Contains(msCTS);
    case lsDSR: return comPort_->ModemSignals().Contains(msDSR);
    case lsRLSD: return comPort_->ModemSignals().Contains(msRLSD);
    case lsRing:
    case lsRx:
    case lsTx:
        // Events, not levels: nothing to read.
        return false;
    }
    return false;
}

bool TComLed::IsLoading() const
{
    return createdWhileLoading_ && TFormLoading::Current() != nullptr;
}

// ---- glyphs and painting ----------------------------------------------------------

void TComLed::LoadKindGlyphs(TLedKind kind)
{
    if (kind == lkCustom)
        return;
    glyphs_[lsOn] = LoadGlyph(KindGlyphNames[kind][0]);
    glyphs_[lsOff] = LoadGlyph(KindGlyphNames[kind][1]);
}

const QPixmap& TComLed::CurrentGlyph() const
{
    return isEnabled() ? glyphs_[state_] : glyphs_[lsOff];
}

void TComLed::paintEvent(QPaintEvent*)
{
    GuardedCall([this] {
        // Loaded at the first paint, not at construction: most LEDs are
        // created long before they are shown, and many never change kind.
        if (glyphs_[lsOn].isNull() || glyphs_[lsOff].isNull())
            LoadKindGlyphs(kind_);
        const QRect area = rect();
        const QPixmap& sized = glyphs_[state_];
        // Centred; a glyph larger than the control starts at its corner.
        const int x = area.left() + std::max(0, (area.width() - sized.width()) / 2);
        const int y = area.top() + std::max(0, (area.height() - sized.height()) / 2);
        const QPixmap& glyph = CurrentGlyph();
        if (glyph.isNull())
            return;
        QPainter painter(this);
        painter.drawPixmap(x, y, glyph);
    });
}

void TComLed::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    GuardedCall([&] {
        if (event->type() == QEvent::EnabledChange)
            update();
    });
}

// ---- operator input ------------------------------------------------------------

void TComLed::mousePressEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        if (event->button() == Qt::LeftButton)
            pressed_ = true;
        const QPoint at = event->position().toPoint();
        if (OnMouseDown)
            OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
    });
}

void TComLed::mouseReleaseEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        const QPoint at = event->position().toPoint();
        // A click is a left press and release both on the control.
        const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(at);
        if (event->button() == Qt::LeftButton)
            pressed_ = false;
        if (OnMouseUp)
            OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
        if (click && OnClick)
            OnClick(this);
    });
}

void TComLed::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click: the double click, then the press.
    GuardedCall([&] {
        if (event->button() == Qt::LeftButton && OnDblClick)
            OnDblClick(this);
    });
    mousePressEvent(event);
}

void TComLed::mouseMoveEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        const QPoint at = event->position().toPoint();
        if (OnMouseMove)
            OnMouseMove(this, event->modifiers(), at.x(), at.y());
    });
}

void TComLed::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    GuardedCall([this] {
        if (OnResize)
            OnResize(this);
    });
}

void TComLed::Notification(TComponent* component, TOperation operation)
{
    TFreeNotifyTarget::Notification(component, operation);
    if (operation == opRemove && comPort_ && component == static_cast<TComponent*>(comPort_))
        Bind(nullptr);
}
