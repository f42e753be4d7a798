// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "mainwindow/Form1.h"

// What the main window holds, for comparing in tests.

// Whether the control itself is enabled, whatever its parents are: what the program set.
inline bool ownEnabled(const QWidget* w)
{
    return !w->testAttribute(Qt::WA_ForceDisabled);
}

// The slide show's twenty slots and its list.
inline QStringList slotTexts(const Form1& form)
{
    QStringList texts;
    for (int k = 1; k <= Form1::SlotCount; ++k)
        texts << form.slot(k)->text();
    return texts;
}

inline QStringList listLines(const Form1& form)
{
    QStringList lines;
    for (int i = 0; i < form.List1->count(); ++i)
        lines << form.List1->item(i)->text();
    return lines;
}
