// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "platform/LastChangeStamp.h"

// The "Last Change" stamp: the locale's short date, then the time with its
// seconds, which a locale's short time format leaves out.
class TestLastChangeStamp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stamp_data()
    {
        QTest::addColumn<QString>("locale"); // "C" is QLocale::c()
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("expected");

        const QDate day(2026, 12, 10);
        const auto at = [day](int h, int m, int s, int ms = 0) { return QDateTime(day, QTime(h, m, s, ms)); };
        QTest::newRow("C") << "C" << at(14, 5, 9) << "10 Dec 2026 , 14:05:09";
        QTest::newRow("de_DE") << "de_DE" << at(14, 5, 9) << "10.12.26 , 14:05:09";
        QTest::newRow("en_GB") << "en_GB" << at(14, 5, 9) << "10/12/2026 , 14:05:09";
        QTest::newRow("en_US") << "en_US" << at(14, 5, 9) << "12/10/26 , 2:05:09 PM";
        // The 12-hour clock's edges.
        QTest::newRow("en_US midnight") << "en_US" << at(0, 0, 0) << "12/10/26 , 12:00:00 AM";
        QTest::newRow("en_US noon") << "en_US" << at(12, 0, 0) << "12/10/26 , 12:00:00 PM";
        QTest::newRow("en_US last second") << "en_US" << at(23, 59, 59) << "12/10/26 , 11:59:59 PM";
        // A 12-hour locale that puts the marker first.
        QTest::newRow("ko_KR afternoon") << "ko_KR" << at(14, 5, 9) << "26. 12. 10. , 오후 2:05:09";
        QTest::newRow("ja_JP unpadded hour") << "ja_JP" << at(9, 8, 7) << "2026/12/10 , 9:08:07";
        // The 24-hour clock's edges, and seconds that are zero still shown.
        QTest::newRow("de_DE midnight") << "de_DE" << at(0, 0, 0) << "10.12.26 , 00:00:00";
        QTest::newRow("de_DE whole minute") << "de_DE" << at(14, 5, 0) << "10.12.26 , 14:05:00";
        QTest::newRow("de_DE single digits")
            << "de_DE" << QDateTime(QDate(2026, 1, 2), QTime(9, 8, 7)) << "02.01.26 , 09:08:07";
        // Milliseconds are cut, never rounded into the next second or day.
        QTest::newRow("last millisecond of the year")
            << "en_GB" << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)) << "31/12/2026 , 23:59:59";
        QTest::newRow("de_DE 999 ms") << "de_DE" << at(14, 5, 9, 999) << "10.12.26 , 14:05:09";
    }

    void stamp()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, when);
        QFETCH(QString, expected);
        const QLocale l = locale == QStringLiteral("C") ? QLocale::c() : QLocale(locale);
        QCOMPARE(lastChangeStamp(when, l), expected);
    }
};

QTEST_GUILESS_MAIN(TestLastChangeStamp)
#include "test_last_change_stamp.moc"
