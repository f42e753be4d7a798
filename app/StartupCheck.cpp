// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartupCheck.h"

#include "app/MainWindowLoad.h"
#include "app/Shell.h"
#include "controls/Colours.h"

void runStartupCheck(Form3& splash, Shell& shell)
{
    splash.Label1->setCaption(QStringLiteral("Checking your MSN Messenger status."));

    const Outcome<QString> name = shell.messenger().readSigninName();
    if (!name) {
        enterExitingState(splash);
        return;
    }
    splash.Text1->setText(name.value());

    Form1* form = shell.createMainWindow();
    if (!loadMainWindow(*form, shell)) {
        enterExitingState(splash);
        // Never shown: the user only ever sees the splash say why it exits.
        form->close();
        return;
    }
    form->show();
    splash.close();
}

void enterExitingState(Form3& splash)
{
    splash.Timer1->setEnabled(false);
    splash.Label1->setTextColor(colours::alertRed);
    splash.Label1->setCaption(QStringLiteral("Please sign into MSN Messenger."));
    splash.Label2->show();
    splash.Timer2->setEnabled(true);
}
