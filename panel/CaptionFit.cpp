#include "panel/CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

// Condensing stops here: narrower than this reads badly at 11 pixels.
constexpr int MinimumStretch = 75;

// A group box's title sits inside the frame with a small inset each side.
constexpr int GroupTitleInsets = 16;

// Frame line and one pixel of air at a group box's inner edge.
constexpr int GroupFrameMargin = 2;

int TextWidth(const QWidget* control, const QString& text)
{
    return control->fontMetrics().horizontalAdvance(text);
}

// Condenses the control's font just enough for `width()` (measured in the
// control's current font) to fit `room`: the widest stretch that fits, down
// to MinimumStretch. Every stretch tried is another font engine to load, so
// the search starts where the width at full stretch says it must end and
// steps from there, instead of walking down from 100.
template <class Width>
void Condense(QWidget* control, int room, Width width)
{
    QFont font = control->font();
    const auto apply = [&](int stretch) {
        font.setStretch(stretch);
        control->setFont(font);
    };
    if (font.stretch() != QFont::AnyStretch && font.stretch() != 100)
        apply(100);
    const int full = width();
    if (full <= room)
        return;
    // Advances shrink about in proportion to the stretch.
    int stretch = std::clamp(100 * room / full, MinimumStretch, 99);
    apply(stretch);
    if (width() <= room) {
        while (stretch < 99) {
            apply(stretch + 1);
            if (width() > room) {
                apply(stretch);
                return;
            }
            ++stretch;
        }
        return;
    }
    while (stretch > MinimumStretch) {
        apply(--stretch);
        if (width() <= room)
            return;
    }
}

} // namespace

int CaptionRoom(const QWidget* control)
{
    const QStyle* style = control->style();
    if (qobject_cast<const QCheckBox*>(control))
        return control->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) -
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
    if (qobject_cast<const QRadioButton*>(control))
        return control->width() - style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, control) -
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, control);
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.rect = button->rect();
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (qobject_cast<const QGroupBox*>(control))
        return control->width() - GroupTitleInsets;
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->contentsRect().width() - 2 * label->margin();
    return control->width();
}

QString CaptionText(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(control))
        return group->title();
    return {};
}

int CaptionWidth(const QWidget* control)
{
    return TextWidth(control, CaptionText(control));
}

void FitCaption(QWidget* control)
{
    Condense(control, CaptionRoom(control), [control] { return CaptionWidth(control); });
}

int ReadoutRoom(const QLabel* label)
{
    const QWidget* parent = label->parentWidget();
    if (parent == nullptr)
        return label->width();
    const int margin = qobject_cast<const QGroupBox*>(parent) ? GroupFrameMargin : 0;
    return parent->width() - margin - label->x();
}

void SetReadout(QLabel* label, const QString& text)
{
    label->setText(text);
    const int room = ReadoutRoom(label);
    Condense(label, room, [&] { return TextWidth(label, text); });
    label->resize(std::min(TextWidth(label, text), room), label->height());
}
