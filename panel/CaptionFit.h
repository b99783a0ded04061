// Fitting texts into the fixed layout. The window's controls have the
// sizes of a layout drawn for a narrower bitmap font; where a caption or a
// readout would not fit in the room its control gives it, the control's
// font is condensed just enough that every character stays visible.
#pragma once

#include <QString>

class QLabel;
class QWidget;

// The width the control leaves for its text: a label's own width, a
// button's contents, a check box or radio button after its indicator, a
// group box's frame less the title's insets.
int CaptionRoom(const QWidget* control);

// The control's present text (caption, title) and its width in the
// control's own font.
QString CaptionText(const QWidget* control);
int CaptionWidth(const QWidget* control);

// Condenses the control's font until its caption fits its room (never
// below three quarters of the normal width).
void FitCaption(QWidget* control);

// Sets a readout label's text. The label grows or shrinks to the text from
// its left edge, as far as its parent's inner edge; a text wider than that
// is condensed to fit.
void SetReadout(QLabel* label, const QString& text);

// How far a readout may reach: from its left edge to its parent's inner
// edge.
int ReadoutRoom(const QLabel* label);
