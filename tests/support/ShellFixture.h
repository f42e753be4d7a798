// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Shell.h"
#include "support/FakeMessenger.h"
#include "support/Windows.h"

// The program wired as main() wires it, on an in-process messenger whose
// world the test sets. The update server's default name never resolves.
struct ShellFixture
{
    FakeMessengerWorld world;
    MessengerLink link{world.factory()};
    Shell shell;

    explicit ShellFixture(UpdateServer updates = UpdateServer{QStringLiteral("updates.tests.invalid")})
        : shell(link, std::move(updates))
    {
    }
    ShellFixture(const ShellFixture&) = delete;
    ShellFixture& operator=(const ShellFixture&) = delete;

    // Opens the splash and runs its check at once, without its two seconds'
    // wait. The main window it opened, or null when the check failed.
    Form1* start()
    {
        Q_EMIT shell.openSplash()->Timer1->fired();
        deleteClosedWindows();
        return shell.mainWindow();
    }
};
