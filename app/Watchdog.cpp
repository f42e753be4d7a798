// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Watchdog.h"

#include "app/Shell.h"

void runWatchdogTick(Form1& form, Shell& shell)
{
    const Outcome<QString> name = shell.messenger().readSigninName();
    if (name) {
        form.Text9->setText(name.value());
        return;
    }
    // The splash opens first, so that a window is always left and the
    // process goes on.
    shell.openSplash();
    form.close();
}
