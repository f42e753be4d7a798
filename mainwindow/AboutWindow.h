// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>

#include "mainwindow/Form2.h"

// "View Program Information": the one about window, created when it is first asked
// for and again after it was closed. It does not block the main window.
class AboutWindow
{
public:
    // Shows the about window, creating it if there is none, and brings it to the front.
    void show();
    // Closes it if it is open.
    void close();
    // The about window now open, if any.
    Form2* window() const { return m_window; }

private:
    QPointer<Form2> m_window;
};
