#pragma once

#include <QObject>
#include <QRect>

class QWidget;

// Puts a top-level window's whole frame, title bar and borders included, in
// the middle of its screen's available area. A frame larger than the area is
// cut down to it and placed at the area's top-left corner, so that all of the
// window is on screen.
//
// Under X11 the window manager adds the frame only once the window is shown,
// so the window is placed before it is shown, as if it had no frame, and once
// more as soon as the frame is known. Wayland lets no program place its own
// windows: there the compositor decides and the moves have no effect.
class WindowPlacement : public QObject
{
    Q_OBJECT

public:
    // The frame's rectangle for a frame of the size `frame` on `available`.
    static QRect centred(const QSize& frame, const QRect& available);

    // Centres `window` now, and again when its frame is first known.
    static void centreOnScreen(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowPlacement(QWidget* window);
    static void place(QWidget* window);
};
