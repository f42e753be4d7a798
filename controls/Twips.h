// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>

// Layout and pointer positions are given in twips (1/1440 inch); at 96 dpi one
// pixel is 15 twips. Qt scales logical pixels on high-DPI screens by itself.
namespace twips {

constexpr int perPixel = 15;

constexpr int toPixels(int value)
{
    return value >= 0 ? (value + perPixel / 2) / perPixel : -((-value + perPixel / 2) / perPixel);
}

constexpr int fromPixels(int pixels)
{
    return pixels * perPixel;
}

// A rectangle given as left, top, width, height in twips.
struct Rect
{
    int left;
    int top;
    int width;
    int height;

    QRect toPixels() const
    {
        return QRect(twips::toPixels(left), twips::toPixels(top), twips::toPixels(width),
                     twips::toPixels(height));
    }
};

} // namespace twips
