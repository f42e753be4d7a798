// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Outcome.h"

class Form1;
class Shell;

// The main window's load, run once after it is created and before it is
// shown. A failing step ends the load; the caller reports it.
Status loadMainWindow(Form1& form, Shell& shell);
