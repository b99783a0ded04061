// A horizontal slider that reports a change the way the panel's handlers
// expect: once per value change, and once more whenever the operator
// finishes a movement (a navigation key or a mouse button released),
// even when the position stayed where it was. The board is meant to see
// the command again then.
//
// A handler may answer a change with a modal box (a refused command, a
// failed write). The box takes the mouse release away from the slider, so
// a press that such a box interrupts ends there: no page-step repeat runs
// on behind the box, and a drag lets go of the handle.
#pragma once

#include <QPointer>
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
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EndPress();

    // The window whose blocking by a modal box ends a press.
    QPointer<QWidget> watchedWindow_;
    // A modal box came up while the press was being handled.
    bool pressInterrupted_ = false;
    bool inPress_ = false;
};
