// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMouseEvent>
#include <QWidget>

#include "controls/Twips.h"

// One pointer movement as the controls report it: button and shift state and
// the position in twips relative to the control.
struct PointerMove
{
    Qt::MouseButtons buttons;
    bool shift = false;
    int xTwips = 0;
    int yTwips = 0;

    static PointerMove from(const QMouseEvent* event)
    {
        const QPoint pos = event->position().toPoint();
        return {event->buttons(), event->modifiers().testFlag(Qt::ShiftModifier), twips::fromPixels(pos.x()),
                twips::fromPixels(pos.y())};
    }
};

Q_DECLARE_METATYPE(PointerMove)
