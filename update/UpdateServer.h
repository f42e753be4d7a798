// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program asks whether a newer version exists, and where that
// version is downloaded from. Fixed when the program is built.
struct UpdateServer
{
    QString host; // a host name, optionally with ":port"
    int timeoutSeconds = 60;

    QString updateUrl() const
    {
        return QStringLiteral("http://") + host + QStringLiteral("/QUORVIK/Updates/Tilecaster/update.txt");
    }
    QString downloadUrl() const
    {
        return QStringLiteral("http://") + host + QStringLiteral("/QUORVIK/Apps/Tilecaster/2.0/tilecst.zip");
    }

    // The server this build asks (TILECAST_UPDATE_HOST at build time).
    static UpdateServer builtIn();
};
