// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessible>
#include <QString>

// The name a screen reader announces for a widget: its accessible name, or
// what Qt's accessibility layer derives when none is set (a label's or a
// button's text).
inline QString screenReaderName(QObject* widget)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}
