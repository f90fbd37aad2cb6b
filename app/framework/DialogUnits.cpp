#include "DialogUnits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {

constexpr qreal kTemplateDpi = 96.0;

} // namespace

DialogUnits::DialogUnits(const QWidget* widget) : DialogUnits(kTemplateDpi, kTemplateDpi)
{
    const QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    if (screen)
        *this = DialogUnits(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

DialogUnits::DialogUnits(qreal dpiX, qreal dpiY)
    : m_scaleX(dpiX / kTemplateDpi), m_scaleY(dpiY / kTemplateDpi)
{}

// The pixels at 96 dpi come first, as the template's own arithmetic gives
// them; a screen of another dpi scales those, so that at twice the dpi every
// position and size is exactly twice as large.
int DialogUnits::x(int units) const
{
    return pixelsX(int(std::floor(units * kBaseWidth / 4.0 + 0.5)));
}

int DialogUnits::y(int units) const
{
    return pixelsY(int(std::floor(units * kBaseHeight / 8.0 + 0.5)));
}

int DialogUnits::pixelsX(int pixels) const
{
    return int(std::floor(pixels * m_scaleX + 0.5));
}

int DialogUnits::pixelsY(int pixels) const
{
    return int(std::floor(pixels * m_scaleY + 0.5));
}

QSize DialogUnits::size(int width, int height) const
{
    return QSize(pixelsX(int(std::ceil(width * kBaseWidth / 4.0))),
                 pixelsY(int(std::ceil(height * kBaseHeight / 8.0))));
}
