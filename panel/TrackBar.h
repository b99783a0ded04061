// A horizontal slider that reports a change the way the panel's handlers
// expect: once per value change, and once more whenever the operator
// finishes a movement (a navigation key or a mouse button released),
// even when the position stayed where it was. The board is meant to see
// the command again then.
#pragma once

#include <QSlider>

class TTrackBar : public QSlider {
    Q_OBJECT

public:
    explicit TTrackBar(QWidget* parent = nullptr);

signals:
    // Every change notification, with or without a new position.
    void Change();
    // Any key released while the slider has the focus (not auto-repeat).
    void KeyUp(int key);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
