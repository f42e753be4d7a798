// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtCore/qnamespace.h>

class Form1;

// The main window's icon in the desktop's notification area: present while
// the window is minimised, gone when it is shown again; a double-click on it
// brings the window back.

// Connects the window's state changes and the icon's double-click.
void connectNotificationAreaHandlers(Form1& form);

// Fills the icon record once, while the main window loads.
void fillIconRecord(Form1& form);
// The window was shown, minimised or restored.
void followWindowState(Form1& form, Qt::WindowStates state);
void restoreFromNotificationArea(Form1& form);
