// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Controls.h"
#include "controls/Window.h"
#include "controls/WindowTimer.h"

// The borderless "newer version available" notice.
class Form5 : public Window
{
    Q_OBJECT
public:
    Form5();

    Picture* Image1;
    Label* Label1;
    WindowTimer* Timer1; // the five seconds before the download starts
};
