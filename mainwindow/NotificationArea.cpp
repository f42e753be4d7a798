// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/NotificationArea.h"

#include "mainwindow/Form1.h"

void connectNotificationAreaHandlers(Form1& form)
{
    Form1* f = &form;
    QObject::connect(f, &Window::windowStateChangedTo, f,
                     [f](Qt::WindowStates state) { followWindowState(*f, state); });
    QObject::connect(f->trayIcon, &TrayIcon::doubleClicked, f, [f] { restoreFromNotificationArea(*f); });
}

void fillIconRecord(Form1& form)
{
    form.iconRecord.window = static_cast<quintptr>(form.winId());
    form.iconRecord.id = 1;
    form.iconRecord.icon = form.windowIcon();
    form.iconRecord.tip = QStringLiteral("Tilecast");
}

void followWindowState(Form1& form, Qt::WindowStates state)
{
    if (state.testFlag(Qt::WindowMinimized))
        form.trayIcon->add(form.iconRecord);
    else
        form.trayIcon->remove();
}

void restoreFromNotificationArea(Form1& form)
{
    if (form.isMinimised()) {
        form.setMinimised(false);
        form.activateWindow();
        form.trayIcon->remove();
    } else if (!form.isVisible()) {
        form.show();
        form.trayIcon->remove();
    }
}
