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

    // An expiry the event loop has not handled yet belongs to the count it ended: stopping
    // the timer drops it, and a new count runs its whole period.
    void expiryNotYetHandled_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("countsMs"); // the new count's period; 0: never fires
        QTest::newRow("disabled") << "off" << 0;
        QTest::newRow("enabled again") << "on" << 40;
        QTest::newRow("new period") << "period" << 150;
    }

    void expiryNotYetHandled()
    {
        QFETCH(QString, then);
        QFETCH(int, countsMs);
        WindowTimer timer(nullptr, QStringLiteral("T"), 40, true);
        QElapsedTimer clock;
        qint64 firstAt = -1;
        connect(&timer, &WindowTimer::fired, this, [&] {
            if (firstAt < 0)
                firstAt = clock.elapsed();
        });
        QThread::msleep(100); // the count ends while no event is handled
        clock.start();
        if (then == QStringLiteral("off"))
            timer.setEnabled(false);
        else if (then == QStringLiteral("on"))
            timer.setEnabled(true);
        else
            timer.setPeriod(countsMs);
        if (countsMs == 0) {
            QTest::qWait(100);
            QCOMPARE(firstAt, -1);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(firstAt >= 0, 5000);
        QVERIFY2(firstAt >= countsMs - 1, qPrintable(QString::number(firstAt)));
    }

    // Two timers due in the same turn of the event loop: whichever fires first stops both,
    // and the other, though its expiry is already in, never fires.
    void stoppedWhileDueInTheSameTurn()
    {
        WindowTimer a(nullptr, QStringLiteral("A"), 20, true);
        WindowTimer b(nullptr, QStringLiteral("B"), 20, true);
        int fired = 0;
        for (WindowTimer* t : {&a, &b}) {
            connect(t, &WindowTimer::fired, this, [&] {
                ++fired;
                a.setEnabled(false);
                b.setEnabled(false);
            });
        }
        QThread::msleep(60);
        QTest::qWait(100);
        QCOMPARE(fired, 1);
    }

    // Held up past its tick, the timer fires once and counts a whole period from then.
    void heldUpTimerFiresOnceThenAPeriodLater()
    {
        WindowTimer timer(nullptr, QStringLiteral("T"), 40, true);
        QElapsedTimer clock;
        QList<qint64> firedAt;
        connect(&timer, &WindowTimer::fired, this, [&] { firedAt << clock.elapsed(); });
        clock.start();
        QThread::msleep(130);
        QTRY_VERIFY_WITH_TIMEOUT(firedAt.size() >= 2, 5000);
        QVERIFY2(firedAt[1] - firedAt[0] >= 39, qPrintable(QString::number(firedAt[1] - firedAt[0])));
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
