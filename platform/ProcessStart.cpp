// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessStart.h"

#include <QProcess>

void startProcessDetached(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}
