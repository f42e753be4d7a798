// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// Connects the slide-show editing handlers to the main window's controls.
void connectEditingHandlers(Form1& form);
