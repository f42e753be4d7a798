// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QWidget>

// Windows close with deleteLater(); tests look at what is left right away.
inline void deleteClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Puts the application back to no windows between tests.
inline void closeAllWindows()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
    deleteClosedWindows();
}
