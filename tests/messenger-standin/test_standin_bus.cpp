// SPDX-License-Identifier: GPL-3.0-or-later
// tilecast-messenger seen from a client: the real binary on a private session
// bus (CTest runs this under dbus-run-session).

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "contract/MessengerContract.h"
#include "support/StandInProcess.h"
#include "tilecast-messenger/StandInControl.h"

using namespace Qt::StringLiterals;

namespace {

using contract::Path;
using contract::Service;
using contract::error::Failed;
using contract::error::InvalidArgument;
using contract::error::NotSignedIn;
const QString& Messenger = contract::Interface;
const QString& Control = standin::ControlInterface;

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, interface, method);
    message.setArguments(arguments);
    return bus().call(message, QDBus::Block, 10000);
}

QDBusMessage setMyProperty(int property, const QVariant& value)
{
    return call(Messenger, contract::SetMyProperty, {property, QVariant::fromValue(QDBusVariant(value))});
}

bool nameHasOwner()
{
    return bus().interface()->isServiceRegistered(Service).value();
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s); // the window never needs a display
    return environment;
}

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult runCli(const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(QStringLiteral(TILECAST_MESSENGER_BIN), arguments);
    CliResult result;
    if (!process.waitForFinished(15000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace

// Collects the MessengerControl signals as they arrive over the bus.
class SignalLog : public QObject
{
    Q_OBJECT

public:
    QStringList pictures;
    QList<bool> signedIn;

public Q_SLOTS:
    void onDisplayPictureChanged(const QString& path) { pictures.append(path); }
    void onSignedInChanged(bool value) { signedIn.append(value); }
};

class TestStandinBus : public QObject
{
    Q_OBJECT

    QString picture(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        return image.save(path, "png") ? path : QString();
    }

    QTemporaryDir m_dir;
    StandInProcess m_instance;
    SignalLog m_log;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(bus().isConnected(), "no session bus; run this under dbus-run-session");
        if (nameHasOwner())
            QSKIP(qPrintable(Service + u" is already owned on this bus; run under dbus-run-session"_s));

        QVERIFY(bus().connect(Service, Path, Control, u"DisplayPictureChanged"_s, &m_log,
                              SLOT(onDisplayPictureChanged(QString))));
        QVERIFY(bus().connect(Service, Path, Control, u"SignedInChanged"_s, &m_log,
                              SLOT(onSignedInChanged(bool))));

        QVERIFY2(m_instance.start({u"--account"_s, u"alice"_s}), qPrintable(m_instance.report()));
        QCOMPARE(m_instance.process().standardError(), QByteArray());

        // The subscriptions above are live once a change gets through.
        call(Control, u"SignOut"_s);
        call(Control, u"SignIn"_s);
        QTRY_COMPARE(m_log.signedIn, (QList<bool>{false, true}));
    }

    void init()
    {
        if (!m_instance.isRunning())
            return;
        call(Control, u"SignInAs"_s, {u"alice"_s});
        call(Control, u"ClearReceivedPictures"_s);
        call(Control, u"ResetCalls"_s);
        call(Control, u"SetRejectPictures"_s, {false});
        // Any signal from the resets above arrives before their replies did.
        QCoreApplication::processEvents();
        m_log.pictures.clear();
        m_log.signedIn.clear();
    }

    void cleanupTestCase() { m_instance.stop(); }

    void readyMeansOwned()
    {
        // "ready" was printed only after the name was owned: no waiting needed.
        QVERIFY(nameHasOwner());
        const QDBusMessage reply = call(Messenger, contract::MySigninName);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments(), QVariantList{u"alice"_s});
    }

    void signedOutRefusesBothMethods()
    {
        const QString good = picture(u"before-sign-out.png"_s);
        QCOMPARE(setMyProperty(contract::UserTilePath, good).type(), QDBusMessage::ReplyMessage);

        QCOMPARE(call(Control, u"SignOut"_s).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(m_log.signedIn, QList<bool>{false});
        QCOMPARE(StandInProcess::property(u"SignedIn"_s).toBool(), false);

        QCOMPARE(call(Messenger, contract::MySigninName).errorName(), NotSignedIn);
        QCOMPARE(setMyProperty(contract::UserTilePath, picture(u"while-signed-out.png"_s)).errorName(),
                 NotSignedIn);
        // Before any complaint about the arguments, as the contract says.
        QCOMPARE(setMyProperty(3, QVariant(7)).errorName(), NotSignedIn);
        QCOMPARE(StandInProcess::property(u"DisplayPicture"_s).toString(), good);

        QCOMPARE(call(Control, u"SignIn"_s).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(m_log.signedIn, (QList<bool>{false, true}));
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{u"alice"_s});
    }

    void emptyAccountNameIsSignedIn()
    {
        QCOMPARE(call(Control, u"SignInAs"_s, {QString()}).type(), QDBusMessage::ReplyMessage);
        const QDBusMessage reply = call(Messenger, contract::MySigninName);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments(), QVariantList{QString()});
        QCOMPARE(StandInProcess::property(u"Account"_s).toString(), QString());
        QCOMPARE(StandInProcess::property(u"SignedIn"_s).toBool(), true);
    }

    void refusedCalls_data()
    {
        QTest::addColumn<int>("property");
        QTest::addColumn<QVariant>("value"); // a QString naming a file under the test folder stays as is
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("error");

        const auto path = [](const char* name) { return QVariant(u"@"_s + QString::fromUtf8(name)); };
        QTest::newRow("property 3") << 3 << path("good.png") << "png" << InvalidArgument;
        QTest::newRow("property -1") << -1 << path("good.png") << "png" << InvalidArgument;
        QTest::newRow("int value") << contract::UserTilePath << QVariant(7) << "" << InvalidArgument;
        QTest::newRow("object path value")
            << contract::UserTilePath << QVariant::fromValue(QDBusObjectPath(u"/tmp"_s)) << ""
            << InvalidArgument;
        QTest::newRow("string list value")
            << contract::UserTilePath << QVariant(QStringList{u"/tmp/a.png"_s}) << "" << InvalidArgument;
        QTest::newRow("empty path") << contract::UserTilePath << QVariant(QString()) << "" << InvalidArgument;
        QTest::newRow("missing file")
            << contract::UserTilePath << path("missing.png") << "" << InvalidArgument;
        QTest::newRow("directory") << contract::UserTilePath << path("folder.png") << "directory"
                                   << InvalidArgument;
        QTest::newRow("text content")
            << contract::UserTilePath << path("text.png") << "text" << InvalidArgument;
        QTest::newRow("empty file") << contract::UserTilePath << path("empty.gif") << "empty"
                                    << InvalidArgument;
    }

    void refusedCalls()
    {
        QFETCH(int, property);
        QFETCH(QVariant, value);
        QFETCH(QString, fixture);
        QFETCH(QString, error);

        // "@name" stands for a file of the given kind in the test folder.
        if (value.metaType() == QMetaType::fromType<QString>() && value.toString().startsWith(u'@')) {
            const QString path = m_dir.filePath(value.toString().mid(1));
            if (fixture == u"png") {
                QCOMPARE(picture(value.toString().mid(1)), path);
            } else if (fixture == u"directory") {
                QVERIFY(QDir().mkpath(path));
            } else if (fixture == u"text" || fixture == u"empty") {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(fixture == u"text" ? "hello\n" : "");
            }
            value = path;
        }

        const QString before = StandInProcess::property(u"DisplayPicture"_s).toString();
        const QDBusMessage reply = setMyProperty(property, value);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), error);
        QVERIFY(!reply.errorMessage().isEmpty());
        QCOMPARE(StandInProcess::property(u"DisplayPicture"_s).toString(), before);

        // A refused call announces nothing: the next good picture is the only one.
        const QString good = picture(u"after-refusal.png"_s);
        QCOMPARE(setMyProperty(contract::UserTilePath, good).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(m_log.pictures, QStringList{good});
    }

    void acceptedPictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << u"plain.png"_s;
        QTest::newRow("space") << u"with space.png"_s;
        QTest::newRow("quotes") << u"q\"uo'te.png"_s;
        QTest::newRow("leading dash") << u"-dash.png"_s;
        QTest::newRow("newline") << u"new\nline.png"_s;
        QTest::newRow("non-ASCII") << u"ünïcødé 画像.png"_s;
        QTest::newRow("png named .jpg") << u"named.jpg"_s;
    }

    void acceptedPictures()
    {
        QFETCH(QString, name);
        const QString path = picture(name);
        QVERIFY(!path.isEmpty());

        const QDBusMessage reply = setMyProperty(contract::UserTilePath, path);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QTRY_COMPARE(m_log.pictures, QStringList{path});
        QCOMPARE(StandInProcess::property(u"DisplayPicture"_s).toString(), path);
        QCOMPARE(StandInProcess::receivedPictures(), QStringList{path});
    }

    void recordsEveryPictureAndCall()
    {
        const QString first = picture(u"first.png"_s);
        const QString missing = m_dir.filePath(u"not-there.png"_s);
        const QString third = picture(u"third.png"_s);

        setMyProperty(contract::UserTilePath, first);
        setMyProperty(contract::UserTilePath, missing);      // refused, still recorded
        setMyProperty(3, first);                             // not a picture path
        setMyProperty(contract::UserTilePath, QVariant(42)); // not a path either
        call(Control, u"SignOut"_s);
        setMyProperty(contract::UserTilePath, third); // refused while signed out, still recorded
        call(Messenger, contract::MySigninName);
        call(Control, u"SignIn"_s);
        call(Messenger, contract::MySigninName);

        QCOMPARE(StandInProcess::receivedPictures(), (QStringList{first, missing, third}));
        const QDBusMessage calls = call(Control, u"Calls"_s);
        QCOMPARE(calls.signature(), u"a{su}"_s);
        const auto counts = qdbus_cast<QMap<QString, uint>>(calls.arguments().value(0));
        QCOMPARE(counts, (QMap<QString, uint>{{contract::MySigninName, 2}, {contract::SetMyProperty, 5}}));

        call(Control, u"ClearReceivedPictures"_s);
        call(Control, u"ResetCalls"_s);
        QCOMPARE(StandInProcess::receivedPictures(), QStringList());
        const auto cleared = qdbus_cast<QMap<QString, uint>>(call(Control, u"Calls"_s).arguments().value(0));
        QCOMPARE(cleared, (QMap<QString, uint>{{contract::MySigninName, 0}, {contract::SetMyProperty, 0}}));
    }

    void armedFailuresAndRejecting()
    {
        const QString good = picture(u"armed.png"_s);

        QCOMPARE(
            call(Control, u"FailNext"_s, {contract::SetMyProperty, u"org.example.Test.Boom"_s, u"boom"_s})
                .type(),
            QDBusMessage::ReplyMessage);
        // Armed for SetMyProperty only: the watchdog's read goes through.
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{u"alice"_s});
        QDBusMessage reply = setMyProperty(contract::UserTilePath, good);
        QCOMPARE(reply.errorName(), u"org.example.Test.Boom"_s);
        QCOMPARE(reply.errorMessage(), u"boom"_s);
        QCOMPARE(setMyProperty(contract::UserTilePath, good).type(), QDBusMessage::ReplyMessage); // used up

        call(Control, u"FailNext"_s, {QString(), u"org.example.Test.Any"_s, QString()});
        QCOMPARE(call(Messenger, contract::MySigninName).errorName(), u"org.example.Test.Any"_s);
        QCOMPARE(call(Messenger, contract::MySigninName).type(), QDBusMessage::ReplyMessage);

        QCOMPARE(call(Control, u"FailNext"_s, {u"Nope"_s, u"org.example.X"_s, QString()}).errorName(),
                 u"org.freedesktop.DBus.Error.InvalidArgs"_s);
        QCOMPARE(call(Control, u"FailNext"_s, {QString(), u"not an error name"_s, QString()}).errorName(),
                 u"org.freedesktop.DBus.Error.InvalidArgs"_s);
        QCOMPARE(call(Messenger, contract::MySigninName).type(), QDBusMessage::ReplyMessage); // nothing armed

        call(Control, u"SetRejectPictures"_s, {true});
        QCOMPARE(StandInProcess::property(u"RejectPictures"_s).toBool(), true);
        QCOMPARE(setMyProperty(contract::UserTilePath, good).errorName(), Failed);
        call(Control, u"SetRejectPictures"_s, {false});
        QCOMPARE(setMyProperty(contract::UserTilePath, good).type(), QDBusMessage::ReplyMessage);
    }

    void commandLineClient()
    {
        CliResult result = runCli({u"sign-out"_s});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(StandInProcess::property(u"SignedIn"_s).toBool(), false);

        result = runCli({u"status"_s});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(u"state: signed out\naccount: alice\n"_s), qPrintable(result.out));

        QCOMPARE(runCli({u"sign-in"_s}).exitCode, 0); // keeps the name
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{u"alice"_s});

        QCOMPARE(runCli({u"sign-in"_s, u"-carol"_s}).exitCode, 0); // a name, not an option
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{u"-carol"_s});
        QCOMPARE(runCli({u"sign-in"_s, QString()}).exitCode, 0);
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{QString()});

        const QString good = picture(u"status.png"_s);
        QCOMPARE(setMyProperty(contract::UserTilePath, good).type(), QDBusMessage::ReplyMessage);
        result = runCli({u"status"_s});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(u"state: signed in\n"_s), qPrintable(result.out));
        QVERIFY2(result.out.contains(u"picture: "_s + good + u'\n'), qPrintable(result.out));

        for (const QStringList& wrong : {QStringList{u"bogus"_s}, QStringList{u"sign-out"_s, u"extra"_s},
                                         QStringList{u"--account"_s, u"x"_s, u"status"_s}}) {
            result = runCli(wrong);
            QVERIFY2(result.exitCode == 2, qPrintable(wrong.join(u' ')));
            QVERIFY(!result.err.isEmpty());
        }

        result = runCli({u"--help"_s});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains(u"sign-in [NAME]"_s) && result.out.contains(u"--no-window"_s));
    }

    void secondInstanceExits()
    {
        StandInProcess second;
        QVERIFY(!second.start());
        QVERIFY(!second.isRunning());
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QVERIFY(second.process().exitCode() != 0);
        QVERIFY(second.process().standardError().contains("already owns org.tilecast.Messenger"));
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(),
                 QVariantList{u"alice"_s}); // first one unharmed
    }

    // These end the shared instance, so they come last.
    void terminateExitsCleanly()
    {
        QVERIFY(m_instance.signal(SIGTERM));
        QVERIFY(m_instance.process().waitForExit(15000));
        QCOMPARE(m_instance.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_instance.process().exitCode(), 0);
        QTRY_VERIFY(!nameHasOwner());

        for (const QString& command : {u"status"_s, u"sign-in"_s, u"sign-out"_s}) {
            const CliResult result = runCli({command});
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.contains(u"no instance"_s), qPrintable(result.err));
        }
    }

    void windowedInstanceStartingSignedOut()
    {
        QVERIFY(!nameHasOwner());
        StandInProcess windowed;
        QVERIFY2(
            windowed.start({u"--signed-out"_s, u"--account"_s, u"bob"_s}, StandInProcess::Window::Offscreen),
            qPrintable(windowed.report()));

        QCOMPARE(call(Messenger, contract::MySigninName).errorName(), NotSignedIn);
        QCOMPARE(StandInProcess::property(u"Account"_s).toString(), u"bob"_s);
        QCOMPARE(call(Control, u"SignIn"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(call(Messenger, contract::MySigninName).arguments(), QVariantList{u"bob"_s});
        // Exercises the window's live preview as well.
        QCOMPARE(setMyProperty(contract::UserTilePath, picture(u"windowed.png"_s)).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(call(Control, u"SignOut"_s).type(), QDBusMessage::ReplyMessage);

        QVERIFY(windowed.signal(SIGINT));
        QVERIFY(windowed.process().waitForExit(15000));
        QCOMPARE(windowed.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(windowed.process().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStandinBus)
#include "test_standin_bus.moc"
