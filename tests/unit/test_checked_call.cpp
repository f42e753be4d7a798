// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QtTest>

#include <csignal>
#include <memory>

#include "contract/MessengerContract.h"
#include "messenger/CheckedCall.h"
#include "support/ProcessUnderTest.h"

using testsupport::ProcessUnderTest;

// CheckedCall::reachable against a bus daemon of the test's own, which the test can make hang.
class TestCheckedCall : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProcessUnderTest> m_daemon;
    QString m_address;
    static constexpr const char* Connection = "test_checked_call";

    QDBusConnection bus() const { return QDBusConnection(QLatin1String(Connection)); }

private Q_SLOTS:
    void init()
    {
        m_daemon = std::make_unique<ProcessUnderTest>(QStringLiteral("dbus-daemon"),
                                                      QStringList{QStringLiteral("--session"),
                                                                  QStringLiteral("--nofork"),
                                                                  QStringLiteral("--print-address=1")});
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->report()));
        const std::optional<QString> address =
            m_daemon->waitForLine(QRegularExpression(QStringLiteral("^unix:")), 10000);
        QVERIFY2(address, qPrintable(m_daemon->report()));
        const QDBusConnection connected = QDBusConnection::connectToBus(*address, QLatin1String(Connection));
        QVERIFY2(connected.isConnected(), qPrintable(connected.lastError().message()));
    }

    void cleanup()
    {
        QDBusConnection::disconnectFromBus(QLatin1String(Connection));
        if (m_daemon)
            m_daemon->signal(SIGCONT);
        m_daemon.reset();
    }

    void answersWhetherTheNameIsOwned_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::newRow("owned") << true;
        QTest::newRow("nobody owns it") << false;
    }

    void answersWhetherTheNameIsOwned()
    {
        QFETCH(bool, owned);
        if (owned)
            QVERIFY(bus().registerService(contract::Service));
        const Status up = CheckedCall::reachable(bus(), contract::Service, QStringLiteral("no messenger"));
        QCOMPARE(up.ok(), owned);
        if (!owned)
            QVERIFY2(up.failure().contains(QStringLiteral("nobody owns ") + contract::Service),
                     qPrintable(up.failure()));
    }

    // The watchdog asks this every second: a bus daemon that stops answering must cost the
    // contract's time-out, not the bus's default of 25 s.
    void hungBusFailsWithinTheContractsTimeOut()
    {
        QVERIFY(m_daemon->signal(SIGSTOP));
        QElapsedTimer clock;
        clock.start();
        const Status up = CheckedCall::reachable(bus(), contract::Service, QStringLiteral("no messenger"));
        const qint64 waited = clock.elapsed();
        QVERIFY(!up.ok());
        QVERIFY2(up.failure().contains(QStringLiteral("NoReply")), qPrintable(up.failure()));
        // A generous bound, far from both time-outs: it tells which one applied, whatever the load.
        QVERIFY2(waited < 15000, qPrintable(QStringLiteral("waited %1 ms").arg(waited)));
    }
};

QTEST_GUILESS_MAIN(TestCheckedCall)
#include "test_checked_call.moc"
