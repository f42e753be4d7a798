// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Shell;

// "Exit Application": closes the windows without asking. The process ends
// once no window is left.
void exitApplication(Shell& shell);
