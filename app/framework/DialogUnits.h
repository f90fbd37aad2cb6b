#pragma once

#include <QRect>

class QWidget;

// Converts dialog units to pixels. The dialogs were drawn for a font whose
// base units are 6 x 13 pixels at 96 dpi: a horizontal unit is a quarter of
// 6 pixels, a vertical unit an eighth of 13. The units are fixed rather than
// taken from the font in use, so that the layout is the same whatever font is
// installed. They grow with the screen's logical dpi where it differs from 96;
// the device-pixel ratio needs nothing here, because Qt's pixels are already
// device-independent and every size is multiplied by the ratio on screen.
class DialogUnits
{
public:
    // The units on the screen of `widget`, or of the primary screen.
    explicit DialogUnits(const QWidget* widget = nullptr);
    // The units at a given logical dpi (96 is the template's own).
    DialogUnits(qreal dpiX, qreal dpiY);

    static constexpr int kBaseWidth = 6;
    static constexpr int kBaseHeight = 13;

    // Positions, rounded to the nearest pixel.
    int x(int units) const;
    int y(int units) const;
    // Sizes, rounded up, so that no control is smaller than the template asks.
    QSize size(int width, int height) const;
    // A distance of `pixels` at 96 dpi, horizontal or vertical, on this screen.
    int pixelsX(int pixels) const;
    int pixelsY(int pixels) const;
    QRect rect(int left, int top, int width, int height) const
    {
        return QRect(QPoint(x(left), y(top)), size(width, height));
    }

private:
    qreal m_scaleX; // logical dpi over 96
    qreal m_scaleY;
};
