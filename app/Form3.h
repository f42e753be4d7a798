// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Controls.h"
#include "controls/Window.h"
#include "controls/WindowTimer.h"

// The splash window: the program's start-up window, created afresh (in its
// loading state) every time it opens.
class Form3 : public Window
{
    Q_OBJECT
public:
    Form3();

    Picture* Image1;
    Label* Label1;       // status line
    Label* Label2;       // "Exiting Tilecast.", shown in the exiting state
    TextField* Text1;    // hidden: receives the account name read by the check
    WindowTimer* Timer1; // delay before the start-up check
    WindowTimer* Timer2; // delay before closing in the exiting state
};
