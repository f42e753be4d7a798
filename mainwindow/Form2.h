// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Controls.h"
#include "controls/Window.h"

// The "Program Information" window: a fixed page, closed from its title bar.
class Form2 : public Window
{
    Q_OBJECT
public:
    Form2();

    Picture* Image1; // the product name, written bottom to top
    Picture* Image2;
    Label* Label1;
    Label* Label2;
    Label* Label3;
    Label* Label5;
    Label* Label4;
    Label* Label6;
    Label* Label7;
};
