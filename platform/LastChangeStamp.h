// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// "date , time": the date in the locale's short format, the time with seconds.
QString lastChangeStamp(const QDateTime& when, const QLocale& locale = QLocale::system());
