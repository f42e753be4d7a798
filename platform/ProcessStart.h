// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Starts a program without a shell and without waiting for it; whether it
// could be started is not reported.
void startProcessDetached(const QString& program, const QStringList& arguments);
