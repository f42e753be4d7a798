// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>

#include "update/Form5.h"

// The "newer version available" notice; at most one counts down at a time.
class UpdateNotice
{
public:
    // Opens the notice, unless one is already counting down. Five seconds later it
    // hands the download address to the desktop's web browser and closes; the exit
    // of the program does not cut that short.
    void open(const QString& downloadUrl);
    // The notice now counting down, if any.
    Form5* window() const { return m_window; }

private:
    QPointer<Form5> m_window;
};
