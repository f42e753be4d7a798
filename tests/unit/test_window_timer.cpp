// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <limits>

#include "controls/WindowTimer.h"

// Window timer semantics: enabling restarts the count, a disabled timer and a
// zero period never fire, and every positive 32-bit period is accepted.
class TestWindowTimer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }

    void neverFires_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("disabled") << 10 << false;
        QTest::newRow("period 0") << 0 << true;
        QTest::newRow("negative period") << -5 << true;
        QTest::newRow("longest period") << std::numeric_limits<int>::max() << true;
    }

    void neverFires()
    {
        QFETCH(int, period);
        QFETCH(bool, enabled);
        WindowTimer timer(nullptr, QStringLiteral("T"), period, enabled);
        QSignalSpy fired(&timer, &WindowTimer::fired);
        QTest::qWait(60);
        QCOMPARE(fired.count(), 0);
        QCOMPARE(timer.isEnabled(), enabled);
        QCOMPARE(timer.period(), period);
    }

    void firesRepeatedlyWhileEnabled()
    {
        WindowTimer timer(nullptr, QStringLiteral("T"), 10, true);
        QSignalSpy fired(&timer, &WindowTimer::fired);
        QTRY_VERIFY(fired.count() >= 3);
        timer.setEnabled(false);
        const int count = fired.count();
        QTest::qWait(40);
        QCOMPARE(fired.count(), count);
    }

    // Re-enabling an enabled timer starts its count again from zero.
    void enablingRestartsTheCount()
    {
        WindowTimer timer(nullptr, QStringLiteral("T"), 200, true);
        QSignalSpy fired(&timer, &WindowTimer::fired);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(120);
        timer.setEnabled(true);
        const qint64 restartedAt = clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(fired.count(), 1, 5000);
        QVERIFY2(clock.elapsed() >= restartedAt + 199, qPrintable(QString::number(clock.elapsed())));
    }

    void disabledTimerKeepsItsPeriod()
    {
        WindowTimer timer(nullptr, QStringLiteral("T"), 0, false);
        timer.setPeriod(1500);
        QVERIFY(!timer.isEnabled());
        QCOMPARE(timer.period(), 1500);
    }
};

QTEST_GUILESS_MAIN(TestWindowTimer)
#include "test_window_timer.moc"
