// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class Shell;

// Every second while the main window exists: re-reads the signed-in account
// (over the bus the answer comes a moment later, and only when it changes
// something).
// When that fails the program goes back to the splash, which discards the
// main window and everything it holds.
void runWatchdogTick(Form1& form, Shell& shell);
