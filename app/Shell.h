// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include "app/Form3.h"
#include "mainwindow/AboutWindow.h"
#include "mainwindow/Form1.h"
#include "messenger/MessengerLink.h"
#include "update/UpdateNotice.h"
#include "update/UpdateServer.h"

// Owns the program's windows over its life: opens the splash and the main
// window, wires their events to the handlers, and knows which are open.
// The process ends when the last window has closed.
class Shell : public QObject
{
    Q_OBJECT
public:
    Shell(MessengerLink& messenger, UpdateServer updates);

    MessengerLink& messenger() { return m_messenger; }
    const UpdateServer& updateServer() const { return m_updates; }
    Form3* splash() const { return m_splash; }
    Form1* mainWindow() const { return m_main; }
    AboutWindow& about() { return m_about; }
    UpdateNotice& updateNotice() { return m_updateNotice; }

    // A new splash in its loading state, shown centred.
    Form3* openSplash();
    // A new main window with its initial values and its handlers connected;
    // not loaded and not shown yet.
    Form1* createMainWindow();

Q_SIGNALS:
    void mainWindowCreated(Form1* form);

private:
    MessengerLink& m_messenger;
    UpdateServer m_updates;
    QPointer<Form3> m_splash;
    QPointer<Form1> m_main;
    AboutWindow m_about;
    UpdateNotice m_updateNotice;
};
