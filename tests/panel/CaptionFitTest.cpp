// Condensing a control's font so that its text fits: just enough, and back
// to full width when a shorter text comes.
#include "panel/CaptionFit.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

int Stretch(const QWidget* control)
{
    const int stretch = control->font().stretch();
    return stretch == QFont::AnyStretch ? 100 : stretch;
}

int WidthAt(const QWidget* control, const QString& text, int stretch)
{
    QFont font = control->font();
    font.setStretch(stretch);
    return QFontMetrics(font).horizontalAdvance(text);
}

QFont PanelFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    return font;
}

} // namespace

TEST(CaptionFitTest, CondensesToTheWidestStretchThatFitsAndBackWhenTheTextShrinks)
{
    QGroupBox group;
    group.setFont(PanelFont());
    group.resize(120, 60);
    auto* label = new QLabel(&group);
    label->setGeometry(10, 20, 40, 13);
    const QString full = QStringLiteral("100.00mA");
    const int natural = QFontMetrics(label->font()).horizontalAdvance(full);

    // Rooms from a little short of the natural width down to past the
    // limit: each is met by the widest stretch that fits, never by less.
    for (const int width : {natural - 1, natural * 9 / 10, natural * 8 / 10, natural * 6 / 10}) {
        SCOPED_TRACE(width);
        group.resize(label->x() + width + 2, 60);
        SetReadout(label, full);
        const int stretch = Stretch(label);
        const int roomNow = ReadoutRoom(label);
        if (WidthAt(label, full, 75) > roomNow) {
            EXPECT_EQ(stretch, 75); // as narrow as it goes, and no further
            continue;
        }
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(full), roomNow);
        EXPECT_LT(stretch, 100);
        EXPECT_GT(WidthAt(label, full, stretch + 1), roomNow);
    }

    // A text that fits again gets the full width back.
    group.resize(120, 60);
    SetReadout(label, QStringLiteral("0mA"));
    EXPECT_EQ(Stretch(label), 100);
}

TEST(CaptionFitTest, ACaptionThatFitsKeepsItsFontAndALongOneIsCondensedJustEnough)
{
    QLabel roomy(QStringLiteral("OPEN"));
    roomy.setFont(PanelFont());
    roomy.resize(200, 13);
    FitCaption(&roomy);
    EXPECT_EQ(roomy.font().stretch(), QFont::AnyStretch);

    QLabel tight(QStringLiteral("Select Operating Mode"));
    tight.setFont(PanelFont());
    tight.resize(CaptionWidth(&tight) * 92 / 100, 13);
    FitCaption(&tight);
    const int stretch = Stretch(&tight);
    EXPECT_LT(stretch, 100);
    EXPECT_LE(CaptionWidth(&tight), CaptionRoom(&tight));
    EXPECT_GT(WidthAt(&tight, tight.text(), stretch + 1), CaptionRoom(&tight));
}
