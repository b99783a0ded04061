#include "panel/CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

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

template <class Fits>
void Condense(QWidget* control, Fits fits)
{
    QFont font = control->font();
    int stretch = font.stretch() == QFont::AnyStretch ? 100 : font.stretch();
    if (stretch != 100) {
        font.setStretch(100);
        control->setFont(font);
        stretch = 100;
    }
    while (!fits() && stretch > MinimumStretch) {
        --stretch;
        font.setStretch(stretch);
        control->setFont(font);
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
    Condense(control, [control] { return CaptionWidth(control) <= CaptionRoom(control); });
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
    Condense(label, [&] { return TextWidth(label, text) <= room; });
    label->resize(std::min(TextWidth(label, text), room), label->height());
}
