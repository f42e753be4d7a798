// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

// Qt's Fusion style, always (never the desktop's), with three changes:
// - a list's border is drawn as whole device pixels at any scale: Fusion strokes a
//   one-pixel line that the list's inside covers wherever the scale puts the two edges
//   into the same device pixel (at 1.25 or 1.5 the bottom border vanished);
// - a list that has the keyboard focus shows it in its border;
// - the focus mark around a caption, a check box's text or a list's current line is a
//   solid line, not Fusion's faint tint.
class ProgramStyle : public QProxyStyle
{
    Q_OBJECT
public:
    ProgramStyle();

    QPalette standardPalette() const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
