// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindowLoad.h"

#include "app/Shell.h"
#include "mainwindow/Form1.h"
#include "mainwindow/NotificationArea.h"
#include "update/UpdateQuery.h"

Status loadMainWindow(Form1& form, Shell& shell)
{
    // Step 1: asks for a newer version; may open the update notice, which
    // then shows before the main window does.
    queryForUpdate(form, shell.updateServer(), shell.updateNotice());

    // Step 2: the record the notification-area icon is shown from.
    fillIconRecord(form);

    // Step 3: the path line shows the file list's folder, at this point the
    // folder the program was started in.
    form.Label17->setCaption(form.File1->path());

    // Step 4: the signed-in account's name.
    const Outcome<QString> name = shell.messenger().readSigninName();
    if (!name)
        return Failure{name.failure()};
    form.Label7->setCaption(name.value());
    return {};
}
