// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Outcome.h"

struct HttpAnswer
{
    long status = 0;
    QByteArray body;
};

// One blocking HTTP GET on the calling thread: no event loop runs while it
// waits, so nothing else of the program can run in between. Fails when the
// transfer fails (no such host, refused, reset, time-out) or the body grows
// beyond maxBodyBytes; an error status still counts as an answer.
Outcome<HttpAnswer> httpGet(const QString& url, int timeoutSeconds, qsizetype maxBodyBytes);
