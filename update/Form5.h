#pragma once

#include "platform/Controls.h"
#include "platform/Window.h"
#include "platform/WindowTimer.h"

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
