#include "WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

WindowPlacement::WindowPlacement(QWidget* window) : QObject(window)
{
    window->installEventFilter(this);
}

QRect WindowPlacement::centred(const QSize& frame, const QRect& available)
{
    const QSize size = frame.boundedTo(available.size());
    return QRect(QPoint(available.left() + (available.width() - size.width()) / 2,
                        available.top() + (available.height() - size.height()) / 2),
                 size);
}

void WindowPlacement::centreOnScreen(QWidget* window)
{
    place(window);
    new WindowPlacement(window); // owned by the window; ends itself once the frame is known
}

void WindowPlacement::place(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect frame = window->frameGeometry();
    const QSize decoration = frame.size() - window->size();
    const QRect target = centred(frame.size(), screen->availableGeometry());
    if (target.size() != frame.size())
        window->resize((target.size() - decoration).expandedTo(QSize(0, 0)));
    window->move(target.topLeft()); // moves the frame's top-left corner
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    // The window manager's frame shows up as a difference between the frame
    // and the window's own geometry, reported with the move that adding the
    // frame causes.
    auto* window = static_cast<QWidget*>(watched);
    const auto type = event->type();
    if ((type == QEvent::Move || type == QEvent::Show || type == QEvent::Resize) &&
        window->isVisible() && window->frameGeometry() != window->geometry()) {
        window->removeEventFilter(this);
        place(window);
        deleteLater();
    }
    return QObject::eventFilter(watched, event);
}
