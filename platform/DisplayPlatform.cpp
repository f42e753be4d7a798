// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DisplayPlatform.h"

QByteArray preferredQtPlatforms(const QProcessEnvironment& environment, const QStringList& arguments)
{
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return {};
    // Qt reads "-platform NAME", also spelt with two dashes.
    if (arguments.contains(QStringLiteral("-platform")) || arguments.contains(QStringLiteral("--platform")))
        return {};
    if (environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return {};
    return QByteArrayLiteral("xcb;wayland");
}

QByteArray preferredQtPlatforms(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return preferredQtPlatforms(QProcessEnvironment::systemEnvironment(), arguments);
}
