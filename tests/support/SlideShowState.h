// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "mainwindow/Form1.h"

// What the main window holds of the slide show, for comparing in tests.
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
