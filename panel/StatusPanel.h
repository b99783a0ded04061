// One panel of the window's status bar: a sunken, fixed-width field with
// centred plain text. A text wider than the panel (a long device path, say)
// is shortened in the middle with an ellipsis, so that both its start and
// its end stay readable; the whole text is then the panel's tool tip.
// text() always gives the whole text.
#pragma once

#include <QLabel>

class TStatusPanel : public QLabel {
    Q_OBJECT

public:
    TStatusPanel(const QString& text, int width, QWidget* parent = nullptr);

    // True when the panel cannot show its whole text.
    bool Elided() const;
    // What the panel shows.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
};
