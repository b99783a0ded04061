// The notice about a lost port.
//
// It tells the operator that the port's device went away and, later, that
// it came back, and stays until the operator dismisses it, so that both
// times can be read. It must never be in the operator's way: it is a small
// window of its own that takes no keyboard focus (neither when it appears
// nor when it is clicked), placed beside or below the main window where
// the screen has room for it there, so that it covers none of the window's
// controls. Only on a screen too small for that does it go over one
// control chosen by the window (the receive pane), the one least in use
// while there is no port.
#pragma once

#include <QFrame>
#include <QRect>
#include <QSize>
#include <QString>

class QDialogButtonBox;
class QLabel;

// Where a notice of `size` goes: below `window` (its outer frame), else to
// its right, to its left or above it, wholly on `available` and clear of
// the window, `gap` pixels away from it; where none of these fits, over
// `spare` (a control of the window, in screen coordinates), moved just
// enough to lie on `available`.
QRect NoticePlace(QSize size, const QRect& window, const QRect& available, const QRect& spare, int gap = 4);

class TPortNotice : public QFrame {
    Q_OBJECT

public:
    // A notice over `window`, as wide as `spare`, which it may cover where
    // the screen has no room around the window. Both must outlive it.
    TPortNotice(QWidget* window, QWidget* spare);

    enum class TKind { Warning, Information };
    // Shows `text`, or rewrites the notice shown, and places it anew.
    void Tell(const QString& text, TKind kind);
    QString Text() const;
    TKind Kind() const { return kind_; }
    // The button that dismisses the notice.
    QWidget* DismissButton() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    QWidget* window_;
    QWidget* spare_;
    QLabel* icon_;
    QLabel* text_;
    QDialogButtonBox* buttons_;
    TKind kind_ = TKind::Warning;
};
