// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Watchdog.h"

#include <QPointer>

#include "app/Shell.h"

void runWatchdogTick(Form1& form, Shell& shell)
{
    // Only an answer that changes something comes back: an unchanged sign-in costs
    // this thread nothing beyond the tick.
    shell.messenger().checkSigninName(form.Text9->text(),
                                      [form = QPointer<Form1>(&form), &shell](const Outcome<QString>& name) {
                                          if (!form)
                                              return;
                                          if (name) {
                                              form->Text9->setText(name.value());
                                              return;
                                          }
                                          // The splash opens first, so that a window is always left and the
                                          // process goes on.
                                          shell.openSplash();
                                          form->close();
                                      });
}
