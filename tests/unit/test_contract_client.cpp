// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDBusConnection>
#include <QDBusMessage>
#include <QThread>
#include <QtTest>

#include <csignal>

#include "contract/MessengerContract.h"
#include "messenger/ContractClient.h"
#include "support/StandInProcess.h"

// The client of the messenger contract over a private session bus, against the real stand-in.
class TestContractClient : public QObject
{
    Q_OBJECT

    StandInProcess m_standIn;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    }
    void cleanup() { m_standIn.stop(); }

    void noMessengerRunning()
    {
        const auto created = ContractClient::create();
        QVERIFY(!created.ok());
        QVERIFY(created.failure().contains(contract::Service));
    }

    void readsTheSignedInName_data()
    {
        QTest::addColumn<QString>("account");
        QTest::newRow("plain") << QStringLiteral("alice@example.org");
        QTest::newRow("empty name is signed in too") << QString();
        QTest::newRow("non-ASCII") << QStringLiteral("Zoë Ångström");
    }

    void readsTheSignedInName()
    {
        QFETCH(QString, account);
        QVERIFY(m_standIn.start({QStringLiteral("--account"), account}));
        auto created = ContractClient::create();
        QVERIFY2(created.ok(), qPrintable(created.failure()));
        std::unique_ptr<Messenger> messenger = created.take();
        const Outcome<QString> name = messenger->signinName();
        QVERIFY2(name.ok(), qPrintable(name.failure()));
        QCOMPARE(name.value(), account);

        QCOMPARE(StandInProcess::control(QStringLiteral("SignOut")).type(), QDBusMessage::ReplyMessage);
        const Outcome<QString> signedOut = messenger->signinName();
        QVERIFY(!signedOut.ok());
        QVERIFY(signedOut.failure().contains(contract::error::NotSignedIn));
    }

    void setsTheDisplayPicture()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = ContractClient::create().take();
        const QString good =
            qEnvironmentVariable("TILECAST_SOURCE_DIR") + QStringLiteral("/resources/samples/tiles.gif");
        QVERIFY(QFileInfo::exists(good));
        QVERIFY(messenger->applyDisplayPicture(good).ok());

        const Status missing = messenger->applyDisplayPicture(QStringLiteral("/no/such file.gif"));
        QVERIFY(!missing.ok());
        QVERIFY(missing.failure().contains(contract::error::InvalidArgument));
        const Status empty = messenger->applyDisplayPicture(QString());
        QVERIFY(!empty.ok());

        QCOMPARE(StandInProcess::receivedPictures(),
                 (QStringList{good, QStringLiteral("/no/such file.gif"), QString()}));
    }

    // The object held keeps working for a messenger that restarted, and fails
    // while none runs.
    void messengerGoneAndBack()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = ContractClient::create().take();
        m_standIn.stop();
        QVERIFY(!messenger->signinName().ok());
        QVERIFY(!ContractClient::create().ok());
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("bob")}));
        QCOMPARE(messenger->signinName().value(), QStringLiteral("bob"));
    }

    // The watch asks without waiting: an answer that would change nothing never comes,
    // any other comes later, on the main thread.
    void checksWithoutWaiting_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("answered");
        QTest::newRow("the name shown: nothing to change") << true << QStringLiteral("alice") << false;
        QTest::newRow("another name shown") << true << QStringLiteral("bob") << true;
        QTest::newRow("nothing shown yet") << true << QString() << true;
        QTest::newRow("signed out") << false << QStringLiteral("alice") << true;
    }

    void checksWithoutWaiting()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, shown);
        QFETCH(bool, answered);
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        if (!signedIn)
            QCOMPARE(StandInProcess::control(QStringLiteral("SignOut")).type(), QDBusMessage::ReplyMessage);
        std::unique_ptr<Messenger> messenger = ContractClient::create().take();
        QList<Outcome<QString>> answers;
        bool onMainThread = true;
        const auto collect = [&](const Outcome<QString>& name) {
            answers.append(name);
            onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        };
        messenger->checkSigninName(shown, collect);
        QVERIFY(answers.isEmpty());
        if (!answered) {
            QTest::qWait(500);
            QVERIFY(answers.isEmpty());
            // The quiet one was asked and finished: the next question is answered.
            messenger->checkSigninName(QString(), collect);
        }
        QTRY_COMPARE(answers.size(), 1);
        QVERIFY(onMainThread);
        const Outcome<QString>& name = answers.first();
        if (signedIn) {
            QVERIFY2(name.ok(), qPrintable(name.failure()));
            QCOMPARE(name.value(), QStringLiteral("alice"));
        } else {
            QVERIFY(!name.ok());
            QVERIFY2(name.failure().contains(contract::error::NotSignedIn), qPrintable(name.failure()));
        }
    }

    // A messenger that hangs is reported once, after the time-out, however often the
    // watch asks in the meantime.
    void hungMessengerIsReportedOnce()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = ContractClient::create().take();
        m_standIn.signal(SIGSTOP);
        QList<Outcome<QString>> answers;
        const auto collect = [&](const Outcome<QString>& name) { answers.append(name); };
        for (int tick = 0; tick < 3; ++tick) {
            messenger->checkSigninName(QStringLiteral("alice"), collect);
            QTest::qWait(300);
        }
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 2 * contract::CallTimeoutMs);
        QVERIFY(!answers.first().ok());
        QVERIFY2(answers.first().failure().contains(QStringLiteral("NoReply")),
                 qPrintable(answers.first().failure()));
        QTest::qWait(1000); // past the time-outs of the questions a watch without a guard would have sent
        QCOMPARE(answers.size(), 1);
    }

    // A messenger that stops answering costs one call time-out, not a hang.
    void hungMessengerTimesOut()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = ContractClient::create().take();
        m_standIn.signal(SIGSTOP);
        const Outcome<QString> name = messenger->signinName();
        QVERIFY(!name.ok());
        QVERIFY2(name.failure().contains(QStringLiteral("NoReply")), qPrintable(name.failure()));
    }
};

QTEST_GUILESS_MAIN(TestContractClient)
#include "test_contract_client.moc"
