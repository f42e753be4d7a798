// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ProgramStyle.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include "controls/Colours.h"
#include "controls/Look.h"

namespace {

// A one-pixel ring of filled rectangles: each edge covers at least one device pixel
// whatever the scale, where a stroked line may fall between two.
void fillRing(QPainter* painter, const QRect& rect, const QColor& colour)
{
    painter->fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter->fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), colour);
    painter->fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), colour);
}

} // namespace

ProgramStyle::ProgramStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette ProgramStyle::standardPalette() const
{
    return programPalette();
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    if (element == PE_Frame && qobject_cast<const QAbstractItemView*>(widget)) {
        // The whole area in the border's colour: the list's inside and its scroll bar
        // paint over it, and the border is whatever device pixels they leave, never
        // fewer than one on each side.
        const bool focused = option->state.testFlag(State_HasFocus);
        painter->fillRect(option->rect, focused ? colours::selection : colours::frameGrey);
        return;
    }
    if (element == PE_FrameFocusRect) {
        // On a selected line the mark is white, or it would vanish into the selection.
        const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
        const bool onSelection = focus && focus->backgroundColor == colours::selection;
        fillRing(painter, option->rect, onSelection ? colours::white : colours::selection);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
