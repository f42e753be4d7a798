// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Exit codes of the command-line client.
enum ClientExit
{
    ClientOk = 0,
    ClientFailed = 1, // no instance running, no bus, or the call was refused
    ClientUsage = 2,
};

// Runs `sign-in [NAME]`, `sign-out` or `status` (the first of `arguments`)
// against the running instance. Needs a QCoreApplication.
int runClient(const QStringList& arguments);
