// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Exit.h"

#include "app/Shell.h"

void exitApplication(Shell& shell)
{
    if (Form1* form = shell.mainWindow())
        form->close();
    shell.about().close();
    if (Form3* splash = shell.splash())
        splash->close();
}
