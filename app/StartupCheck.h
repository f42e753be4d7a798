// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form3;
class Shell;

// The splash's check, two seconds after it opened: a signed-in messenger
// account opens the main window; any failure, also inside the main window's
// load, turns the splash into its exiting state instead.
void runStartupCheck(Form3& splash, Shell& shell);

// Says "Please sign into MSN Messenger." and "Exiting Tilecast." in red and
// closes the splash two seconds later.
void enterExitingState(Form3& splash);
