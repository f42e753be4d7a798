// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LastChangeStamp.h"

QString lastChangeStamp(const QDateTime& when, const QLocale& locale)
{
    // Short time formats leave the seconds out; a slide show changes faster than that.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s'))) {
        const qsizetype minutes = timeFormat.indexOf(QStringLiteral("mm"));
        if (minutes >= 0)
            timeFormat.insert(minutes + 2, QStringLiteral(":ss"));
        else
            timeFormat = locale.timeFormat(QLocale::LongFormat);
    }
    return locale.toString(when.date(), QLocale::ShortFormat) + QStringLiteral(" , ") +
           locale.toString(when.time(), timeFormat);
}
