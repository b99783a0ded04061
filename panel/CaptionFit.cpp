// Condensing a control's font just enough for its caption to fit.
#include "panel/CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
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

// Condenses the control's font just enough for `text` to fit `room`: the
// widest stretch that fits, down to MinimumStretch. The stretches are tried
// on a copy of the font, so the control sees one font change at most; and
// since every stretch tried is another font engine to load, the search
// starts where the width at full stretch says it must end and steps from
// there, instead of walking down from 100.
void Condense(QWidget* control, const QString& text, int room)
{
    QFont font = control->font();
    const auto widthAt = [&](int stretch) {
        font.setStretch(stretch);
        return QFontMetrics(font, control).horizontalAdvance(text);
    };
    int stretch = 100;
    const int full = widthAt(stretch);
    if (full > room) {
        // Advances shrink about in proportion to the stretch.
        stretch = std::clamp(100 * room / full, MinimumStretch, 99);
        if (widthAt(stretch) <= room) {
            while (stretch < 99 && widthAt(stretch + 1) <= room)
                ++stretch;
        } else {
            while (stretch > MinimumStretch && widthAt(--stretch) > room) {
            }
        }
    }
    const int current = control->font().stretch();
    if (stretch == (current == QFont::AnyStretch ? 100 : current))
        return;
    font.setStretch(stretch);
    control->setFont(font);
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
    Condense(control, CaptionText(control), CaptionRoom(control));
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
    Condense(label, text, room);
    label->resize(std::min(TextWidth(label, text), room), label->height());
}
