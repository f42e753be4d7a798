// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "controls/WindowTimer.h"

namespace {

// Takes every file descriptor this process may still open, as a program that has used them
// all up: a timer made meanwhile gets no timerfd and counts on its QTimer.
class DescriptorsUsedUp
{
public:
    DescriptorsUsedUp()
    {
        if (::getrlimit(RLIMIT_NOFILE, &m_limit) != 0)
            return;
        rlimit low = m_limit;
        low.rlim_cur = std::min<rlim_t>(m_limit.rlim_cur, 256);
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
            return;
        int fd;
        while ((fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0)
            m_held.push_back(fd);
        m_ok = errno == EMFILE;
    }
    ~DescriptorsUsedUp()
    {
        for (const int fd : m_held)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &m_limit);
    }
    DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
    DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_limit{};
    std::vector<int> m_held;
    bool m_ok = false;
};

// test_window_timer_fallback runs every test again on the QTimer, with
// TILECAST_TEST_TIMER_FALLBACK=1: each timer is then made without descriptors to spare.
bool onFallBack()
{
    return qEnvironmentVariableIntValue("TILECAST_TEST_TIMER_FALLBACK") == 1;
}

std::unique_ptr<WindowTimer> makeTimer(const QString& name, int periodMs, bool enabled)
{
    std::optional<DescriptorsUsedUp> usedUp;
    if (onFallBack()) {
        usedUp.emplace();
        if (!usedUp->ok())
            qFatal("cannot use up this process's file descriptors");
    }
    return std::make_unique<WindowTimer>(nullptr, name, periodMs, enabled);
}

// The timerfds this process holds.
int timerfdCount()
{
    int count = 0;
    const QStringList fds =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fd : fds) {
        char target[64] = {};
        const QByteArray link = QByteArrayLiteral("/proc/self/fd/") + fd.toLatin1();
        if (::readlink(link.constData(), target, sizeof target - 1) > 0 &&
            qstrcmp(target, "anon_inode:[timerfd]") == 0)
            ++count;
    }
    return count;
}

} // namespace

// Window timer semantics, on the timerfd and (test_window_timer_fallback) on the QTimer that
// stands in when no descriptor is left: enabling restarts the count, a disabled timer and a
// zero period never fire, every positive 32-bit period is accepted, and a timer that waits
// for arm() fires once after each.
class TestWindowTimer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }

    // Each run counts on the back-end it is meant to: a timerfd of its own, or none.
    void countsOnTheBackEndOfThisRun()
    {
        const int before = timerfdCount();
        const auto timer = makeTimer(QStringLiteral("T"), 10, true);
        QCOMPARE(timerfdCount(), before + (onFallBack() ? 0 : 1));
        QSignalSpy fired(timer.get(), &WindowTimer::fired);
        QTRY_VERIFY(fired.count() >= 1);
    }

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
        const auto timer = makeTimer(QStringLiteral("T"), period, enabled);
        QSignalSpy fired(timer.get(), &WindowTimer::fired);
        QTest::qWait(60);
        QCOMPARE(fired.count(), 0);
        QCOMPARE(timer->isEnabled(), enabled);
        QCOMPARE(timer->period(), period);
    }

    void firesRepeatedlyWhileEnabled()
    {
        const auto timer = makeTimer(QStringLiteral("T"), 10, true);
        QSignalSpy fired(timer.get(), &WindowTimer::fired);
        QTRY_VERIFY(fired.count() >= 3);
        timer->setEnabled(false);
        const int count = fired.count();
        QTest::qWait(40);
        QCOMPARE(fired.count(), count);
    }

    // Re-enabling an enabled timer starts its count again from zero.
    void enablingRestartsTheCount()
    {
        const auto timer = makeTimer(QStringLiteral("T"), 200, true);
        QSignalSpy fired(timer.get(), &WindowTimer::fired);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(120);
        timer->setEnabled(true);
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
        const auto timer = makeTimer(QStringLiteral("T"), 40, true);
        QElapsedTimer clock;
        qint64 firstAt = -1;
        connect(timer.get(), &WindowTimer::fired, this, [&] {
            if (firstAt < 0)
                firstAt = clock.elapsed();
        });
        QThread::msleep(100); // the count ends while no event is handled
        clock.start();
        if (then == QStringLiteral("off"))
            timer->setEnabled(false);
        else if (then == QStringLiteral("on"))
            timer->setEnabled(true);
        else
            timer->setPeriod(countsMs);
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
        const auto a = makeTimer(QStringLiteral("A"), 20, true);
        const auto b = makeTimer(QStringLiteral("B"), 20, true);
        int fired = 0;
        for (WindowTimer* t : {a.get(), b.get()}) {
            connect(t, &WindowTimer::fired, this, [&] {
                ++fired;
                a->setEnabled(false);
                b->setEnabled(false);
            });
        }
        QThread::msleep(60);
        QTest::qWait(100);
        QCOMPARE(fired, 1);
    }

    // Held up past its tick, the timer fires once and counts a whole period from then.
    void heldUpTimerFiresOnceThenAPeriodLater()
    {
        const auto timer = makeTimer(QStringLiteral("T"), 40, true);
        QElapsedTimer clock;
        QList<qint64> firedAt;
        connect(timer.get(), &WindowTimer::fired, this, [&] { firedAt << clock.elapsed(); });
        clock.start();
        QThread::msleep(130);
        QTRY_VERIFY_WITH_TIMEOUT(firedAt.size() >= 2, 5000);
        QVERIFY2(firedAt[1] - firedAt[0] >= 39, qPrintable(QString::number(firedAt[1] - firedAt[0])));
    }

    void disabledTimerKeepsItsPeriod()
    {
        const auto timer = makeTimer(QStringLiteral("T"), 0, false);
        timer->setPeriod(1500);
        QVERIFY(!timer->isEnabled());
        QCOMPARE(timer->period(), 1500);
    }

    // The timer itself: it waits for arm(), fires once, keeps its tick through a burst of
    // arms, and keeps an arm made while it was disabled.
    void armedTimer_data()
    {
        QTest::addColumn<QString>("steps"); // arm, off, on, wait
        QTest::addColumn<int>("fires");

        QTest::newRow("never armed") << "wait" << 0;
        QTest::newRow("armed once") << "arm wait" << 1;
        QTest::newRow("armed twice apart") << "arm wait arm wait" << 2;
        QTest::newRow("a burst of arms") << "arm arm arm arm wait" << 1;
        QTest::newRow("armed while disabled, then enabled") << "off arm wait on wait" << 1;
        QTest::newRow("disabled after the arm") << "arm off wait" << 0;
    }

    void armedTimer()
    {
        QFETCH(QString, steps);
        QFETCH(int, fires);
        const auto timer = makeTimer(QStringLiteral("T"), 100, true);
        timer->setWaitsForArm(true);
        QSignalSpy fired(timer.get(), &WindowTimer::fired);
        for (const QString& step : steps.split(QLatin1Char(' '))) {
            if (step == QStringLiteral("arm"))
                timer->arm();
            else if (step == QStringLiteral("off"))
                timer->setEnabled(false);
            else if (step == QStringLiteral("on"))
                timer->setEnabled(true);
            else
                QTest::qWait(450); // several periods, also on a busy machine
        }
        QCOMPARE(fired.count(), fires);
    }
};

QTEST_GUILESS_MAIN(TestWindowTimer)
#include "test_window_timer.moc"
