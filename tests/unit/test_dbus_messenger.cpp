#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include "fakes/StandInProcess.h"
#include "messenger/DBusMessenger.h"

// The messenger link over a private session bus, against the real stand-in.
class TestDBusMessenger : public QObject
{
    Q_OBJECT

    StandInProcess m_standIn;

    static void control(const char* method, const QVariantList& args = {})
    {
        QDBusInterface iface(QStringLiteral("org.tilecast.Messenger"),
                             QStringLiteral("/org/tilecast/Messenger"),
                             QStringLiteral("org.tilecast.MessengerControl"));
        const QDBusMessage reply =
            iface.callWithArgumentList(QDBus::Block, QString::fromLatin1(method), args);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

    static QStringList receivedPictures()
    {
        QDBusInterface iface(QStringLiteral("org.tilecast.Messenger"),
                             QStringLiteral("/org/tilecast/Messenger"),
                             QStringLiteral("org.tilecast.MessengerControl"));
        QDBusReply<QStringList> reply = iface.call(QStringLiteral("ReceivedPictures"));
        return reply.value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    }
    void cleanup() { m_standIn.stop(); }

    void noMessengerRunning()
    {
        const auto created = DBusMessenger::create();
        QVERIFY(!created.ok());
        QVERIFY(created.failure().contains(QStringLiteral("org.tilecast.Messenger")));
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
        auto created = DBusMessenger::create();
        QVERIFY2(created.ok(), qPrintable(created.failure()));
        std::unique_ptr<Messenger> messenger = created.take();
        const Outcome<QString> name = messenger->mySigninName();
        QVERIFY2(name.ok(), qPrintable(name.failure()));
        QCOMPARE(name.value(), account);

        control("SignOut");
        const Outcome<QString> signedOut = messenger->mySigninName();
        QVERIFY(!signedOut.ok());
        QVERIFY(signedOut.failure().contains(QStringLiteral("org.tilecast.Messenger.Error.NotSignedIn")));
    }

    void setsTheDisplayPicture()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = DBusMessenger::create().take();
        const QString good =
            qEnvironmentVariable("TILECAST_SOURCE_DIR") + QStringLiteral("/resources/samples/tiles.gif");
        QVERIFY(QFileInfo::exists(good));
        QVERIFY(messenger->setMyProperty(Messenger::UserTilePath, good).ok());

        const Status missing =
            messenger->setMyProperty(Messenger::UserTilePath, QStringLiteral("/no/such file.gif"));
        QVERIFY(!missing.ok());
        QVERIFY(missing.failure().contains(QStringLiteral("org.tilecast.Messenger.Error.Failed")));
        const Status empty = messenger->setMyProperty(Messenger::UserTilePath, QString());
        QVERIFY(!empty.ok());
        const Status otherProperty = messenger->setMyProperty(3, good);
        QVERIFY(
            otherProperty.failure().contains(QStringLiteral("org.tilecast.Messenger.Error.InvalidArgument")));

        QCOMPARE(receivedPictures(), (QStringList{good, QStringLiteral("/no/such file.gif"), QString()}));
    }

    // The object held keeps working for a messenger that restarted, and fails
    // while none runs.
    void messengerGoneAndBack()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = DBusMessenger::create().take();
        m_standIn.stop();
        QVERIFY(!messenger->mySigninName().ok());
        QVERIFY(!DBusMessenger::create().ok());
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("bob")}));
        QCOMPARE(messenger->mySigninName().value(), QStringLiteral("bob"));
    }

    // A messenger that stops answering costs one call time-out, not a hang.
    void hungMessengerTimesOut()
    {
        QVERIFY(m_standIn.start({QStringLiteral("--account"), QStringLiteral("alice")}));
        std::unique_ptr<Messenger> messenger = DBusMessenger::create().take();
        m_standIn.signal(SIGSTOP);
        const Outcome<QString> name = messenger->mySigninName();
        QVERIFY(!name.ok());
        QVERIFY2(name.failure().contains(QStringLiteral("NoReply")), qPrintable(name.failure()));
    }
};

QTEST_GUILESS_MAIN(TestDBusMessenger)
#include "test_dbus_messenger.moc"
