// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPalette>

class QApplication;
class QWidget;

// Tilecast's look is its own: its windows have fixed colours, a fixed font and a fixed
// layout, so no desktop theme, widget style or font setting may change any of them.

// Before the QApplication is made: the desktop's settings are not to be read at all,
// neither now nor later (a theme would otherwise set its own font once the program runs).
void prepareProgramLook();
// Right after: the program's style, palette and font for the whole application.
void useProgramLook(QApplication& app);

// Every colour role in every colour group, with the active and the inactive group alike,
// so that a window looks the same whether it has the focus or not.
QPalette programPalette();

// Gives a window the program's palette and font as its own, so that nothing set on the
// application later (by a theme, say) reaches its controls, and has it show the keyboard
// focus at all times, not only once a key has moved it.
void applyProgramLook(QWidget* window);
