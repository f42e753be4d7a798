// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Shell.h"

#include "app/Exit.h"
#include "app/StartupCheck.h"
#include "app/Watchdog.h"
#include "editing/ConnectEditing.h"
#include "mainwindow/HoverFeedback.h"
#include "mainwindow/NotificationArea.h"
#include "slideshow/ConnectSlideShow.h"

Shell::Shell(MessengerLink& messenger, UpdateServer updates)
    : m_messenger(messenger), m_updates(std::move(updates))
{
}

Form3* Shell::openSplash()
{
    auto* splash = new Form3();
    m_splash = splash;
    connect(splash->Timer1, &WindowTimer::fired, splash, [this, splash] { runStartupCheck(*splash, *this); });
    connect(splash->Timer2, &WindowTimer::fired, splash, [splash] { splash->close(); });
    splash->show();
    return splash;
}

Form1* Shell::createMainWindow()
{
    auto* form = new Form1();
    m_main = form;
    connect(form->Timer7, &WindowTimer::fired, form, [this, form] { runWatchdogTick(*form, *this); });
    connect(form->Label19, &Label::clicked, this, [this] { exitApplication(*this); });
    connect(form->Label11, &Label::clicked, form, [this] { m_about.show(); });
    connectNotificationAreaHandlers(*form);
    connectHoverFeedback(*form);
    connectEditingHandlers(*form);
    connectSlideShowHandlers(*form, m_messenger);
    Q_EMIT mainWindowCreated(form);
    return form;
}
