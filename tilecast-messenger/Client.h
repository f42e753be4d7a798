// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Runs `sign-in [NAME]`, `sign-out` or `status` (the first of `arguments`) against the
// running instance; returns a cli::Exit. Needs a QCoreApplication.
int runClient(const QStringList& arguments);
