// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/stat.h>

#include "contract/MessengerContract.h"
#include "support/Pictures.h"
#include "support/ProcessUnderTest.h"
#include "support/XmppWorld.h"

using namespace Qt::StringLiterals;
using testsupport::ProcessUnderTest;
using testsupport::xmppWorld;

namespace {

const QString Server = QStringLiteral(TILECAST_SOURCE_DIR "/tests/xmpp/hostile_server.py");

qint64 peakRssKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QByteArray sha1(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

} // namespace

// tilecast-xmpp against an XMPP server that misbehaves the way servers and networks do
// (tests/xmpp/hostile_server.py, on the loopback of scripts/xmpp-world): it must keep
// answering Tilecast on the bus, notice what went wrong, say so, and sign in again, without
// taking anything from the server on trust. The server's and the bridge's times are
// shortened for the test (a 3 s sign-in deadline, a 2 s answer to a ping).
class TestXmppServerFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_passwordFile;
    std::unique_ptr<ProcessUnderTest> m_server;
    std::unique_ptr<ProcessUnderTest> m_bridge;

    QString report() const
    {
        QString text;
        for (const auto* p : {m_server.get(), m_bridge.get()})
            if (p)
                text += p->report() + u'\n';
        return text;
    }

    QList<QJsonObject> events(const QString& kind) const
    {
        QList<QJsonObject> found;
        for (const QByteArray& line : m_server->standardOutput().split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.value(u"event"_s).toString() == kind)
                found << event;
        }
        return found;
    }

    bool waitForEvent(const QString& kind, int n, int timeoutMs)
    {
        return QTest::qWaitFor(
            [&] {
                for (const QJsonObject& event : events(kind))
                    if (event.value(u"n"_s).toInt() == n)
                        return true;
                return false;
            },
            timeoutMs);
    }

    // The server with `behaviour`, then the bridge signing in to it.
    bool start(const QString& behaviour, const QStringList& serverArgs = {},
               const QList<std::pair<QString, QString>>& bridgeEnv = {})
    {
        m_server = std::make_unique<ProcessUnderTest>(
            u"/usr/bin/python3"_s,
            QStringList{Server, u"--cert"_s, xmppWorld("CERT"), u"--key"_s, xmppWorld("KEY"), u"--domain"_s,
                        xmppWorld("DOMAIN"), u"--user"_s, xmppWorld("ALICE").section(u'@', 0, 0),
                        u"--password"_s, xmppWorld("ALICE_PASSWORD"), u"--behaviour"_s, behaviour} +
                serverArgs);
        if (!m_server->start() || !QTest::qWaitFor([&] { return !events(u"listening"_s).isEmpty(); }, 10000))
            return false;
        const int port = events(u"listening"_s).first().value(u"port"_s).toInt();
        m_bridge = bridge({u"--jid"_s, xmppWorld("ALICE"), u"--server"_s, u"127.0.0.1:%1"_s.arg(port),
                           u"--ca-file"_s, xmppWorld("CA"), u"--password-file"_s, m_passwordFile});
        m_bridge->setEnv(u"TILECAST_XMPP_SIGN_IN_DEADLINE_MS"_s, u"3000"_s);
        m_bridge->setEnv(u"TILECAST_XMPP_PING_ANSWER_MS"_s, u"2000"_s);
        for (const auto& [name, value] : bridgeEnv)
            m_bridge->setEnv(name, value);
        return m_bridge->start();
    }

    std::unique_ptr<ProcessUnderTest> bridge(const QStringList& args) const
    {
        return testsupport::xmppBridge(QStringLiteral(TILECAST_XMPP_BIN), args, m_home.path());
    }

    QDBusMessage call(const QString& method, const QList<QVariant>& args = {}) const
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(contract::Service, contract::Path, contract::Interface, method);
        message.setArguments(args);
        return QDBusConnection::sessionBus().call(message, QDBus::Block, contract::CallTimeoutMs);
    }

    QDBusMessage apply(const QString& path) const
    {
        return call(contract::SetMyProperty,
                    {contract::UserTilePath, QVariant::fromValue(QDBusVariant(path))});
    }

    QString signInName() const { return call(contract::MySigninName).arguments().value(0).toString(); }

    int linesWith(const QString& text) const
    {
        return QString::fromLocal8Bit(m_bridge->standardError()).count(text);
    }

    QString savedAvatar(const QString& file) const
    {
        return m_home.filePath(u"data/tilecast/xmpp-original-avatar/%1/%2"_s.arg(
            QString::fromLatin1(xmppWorld("ALICE").toUtf8().toHex()), file));
    }

    QString writePicture(const QString& name, const QImage& image, const char* format, int quality = -1) const
    {
        const QString path = m_home.filePath(name);
        return image.save(path, format, quality) ? path : QString();
    }

    bool stopBridge() { return testsupport::stopBridgeCleanly(*m_bridge); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!xmppWorld("CERT").isEmpty(), "run through scripts/xmpp-world");
        QVERIFY(m_home.isValid());
        m_passwordFile = testsupport::writeAlicePasswordFile(m_home.path());
        QVERIFY(!m_passwordFile.isEmpty());
    }

    void cleanup()
    {
        m_bridge.reset();
        m_server.reset();
        QDir(m_home.filePath(u"data"_s)).removeRecursively();
    }

    // A server that takes the connection and then never finishes the sign-in: the bridge
    // stays on the bus (answering NotSignedIn), gives the attempt up at its deadline, tries
    // again, and ends at once when told to, even from inside the TLS handshake.
    void aSignInThatHangsIsGivenUp_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::newRow("TCP accepted, nothing sent") << u"silent"_s;
        QTest::newRow("STARTTLS answered, then nothing") << u"stall-after-proceed"_s;
    }

    void aSignInThatHangsIsGivenUp()
    {
        QFETCH(QString, behaviour);
        QVERIFY2(start(behaviour), qPrintable(report()));
        QVERIFY2(waitForEvent(u"connected"_s, 1, 10000), qPrintable(report()));
        if (behaviour == u"stall-after-proceed"_s)
            QVERIFY2(waitForEvent(u"stalled"_s, 1, 10000), qPrintable(report()));
        for (int k = 0; k < 3; ++k) {
            const QDBusMessage reply = call(contract::MySigninName);
            QVERIFY2(reply.errorName() == contract::error::NotSignedIn, qPrintable(reply.errorMessage()));
        }
        QVERIFY2(waitForEvent(u"connected"_s, 2, 15000), qPrintable(report()));
        QVERIFY2(m_bridge->waitForLine(
                     QRegularExpression(u"no answer from the server within 3 s; trying again$"_s), 5000),
                 qPrintable(report()));
        if (behaviour == u"stall-after-proceed"_s)
            QVERIFY2(waitForEvent(u"stalled"_s, 2, 10000), qPrintable(report()));
        QVERIFY2(stopBridge(), qPrintable(report()));

        // login, which keeps nothing unless it signs in, gives up on the same deadline.
        auto login = bridge({u"login"_s, xmppWorld("ALICE"), u"--server"_s,
                             u"127.0.0.1:%1"_s.arg(events(u"listening"_s).first().value(u"port"_s).toInt()),
                             u"--ca-file"_s, xmppWorld("CA"), u"--password-file"_s, m_passwordFile});
        login->setEnv(u"TILECAST_XMPP_SIGN_IN_DEADLINE_MS"_s, u"3000"_s);
        QVERIFY(login->start());
        QVERIFY2(login->waitForExit(15000), qPrintable(login->report()));
        QCOMPARE(login->exitCode(), 1);
        QVERIFY2(login->standardError().contains("no answer from the server within 3 s"),
                 qPrintable(login->report()));
        QVERIFY(!QFile::exists(m_home.filePath(u"config/tilecast/xmpp.conf"_s)));
    }

    // SCRAM-SHA-512 refused, SCRAM-SHA-256 taken, the stream dropped later: a lost
    // connection, signed in again, never a wrong password.
    void aRefusedMechanismIsNoWrongPassword()
    {
        QVERIFY2(start(u"refuse-sha512-then-drop"_s), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 2, 15000), qPrintable(report()));
        const QString log = QString::fromLocal8Bit(m_bridge->standardError());
        QVERIFY2(!log.contains(u"password"_s) && !log.contains(u"not trying again"_s), qPrintable(log));
        QVERIFY2(log.contains(u"broke off; trying again"_s), qPrintable(log));
    }

    // A server that goes quiet once signed in (a dead NAT mapping, a suspended Wi-Fi): found
    // by a ping, after a request went unanswered or after a quiet while; then NotSignedIn and
    // a new connection.
    void aServerThatGoesQuietIsNoticed_data()
    {
        QTest::addColumn<bool>("request");
        QTest::newRow("after an unanswered request") << true;
        QTest::newRow("after a quiet while") << false;
    }

    void aServerThatGoesQuietIsNoticed()
    {
        QFETCH(bool, request);
        QList<std::pair<QString, QString>> env;
        if (!request)
            env.append({u"TILECAST_XMPP_IDLE_PING_MS"_s, u"500"_s});
        QVERIFY2(start(u"silent-after-signin"_s, {}, env), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return signInName() == xmppWorld("ALICE"); }, 5000),
                 qPrintable(report()));
        if (request) {
            const QString picture =
                writePicture(u"slide.png"_s, testsupport::pictures::photoLike(64, 64), "PNG");
            QCOMPARE(apply(picture).errorName(), contract::error::Failed);
        }
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         for (const QJsonObject& event : events(u"request"_s))
                             if (event.value(u"child"_s).toString() == u"{urn:xmpp:ping}ping"_s)
                                 return true;
                         return false;
                     },
                     10000),
                 qPrintable(report()));
        QVERIFY2(QTest::qWaitFor(
                     [&] { return call(contract::MySigninName).errorName() == contract::error::NotSignedIn; },
                     10000),
                 qPrintable(report()));
        QVERIFY2(waitForEvent(u"connected"_s, 2, 10000), qPrintable(report()));
        QCOMPARE(linesWith(u"the server stopped answering (no answer to a ping within 2 s); trying again"_s),
                 1);
    }

    // A server that stops reading while it floods the client with pings: the answers that
    // cannot go out are bounded, then the stream is dropped and signed in again.
    void aFloodOfPingsIsCutOff()
    {
        QVERIFY2(start(u"ping-flood"_s), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 2, 20000), qPrintable(report()));
        QVERIFY2(
            m_bridge->waitForLine(
                QRegularExpression(u"the server stopped reading \\(\\d+ stanzas waiting to be sent\\)"_s),
                5000),
            qPrintable(report()));
        qInfo("the bridge's peak RSS: %lld KiB", peakRssKiB(m_bridge->pid()));
        QVERIFY2(stopBridge(), qPrintable(report()));
    }

    // Replies come only as a result or an error, only from where the request went, and with
    // an id nobody else knows: stanzas of the same id that are anything else change nothing.
    void onlyTheRealReplyCounts()
    {
        QVERIFY2(start(u"spoof-replies"_s), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return signInName() == xmppWorld("ALICE"); }, 5000),
                 qPrintable(report()));
        const QString picture = writePicture(u"slide.png"_s, testsupport::pictures::photoLike(64, 64), "PNG");
        // The server really refuses the publish, after "results" from elsewhere and of another kind.
        const QDBusMessage reply = apply(picture);
        QCOMPARE(reply.errorName(), contract::error::Failed);
        QVERIFY2(reply.errorMessage().contains(u"(forbidden)"_s), qPrintable(reply.errorMessage()));
        QCOMPARE(signInName(), xmppWorld("ALICE"));
        for (const QJsonObject& event : events(u"request"_s))
            QVERIFY2(!event.value(u"id"_s).toString().startsWith(u"tilecast-"_s), "sequential ids");
        // The account had no avatar: that much was read, through the real replies.
        QFile info(savedAvatar(u"avatar.ini"_s));
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY2(info.readAll().contains("had-avatar=\"false\""), qPrintable(info.fileName()));
    }

    // What the server and a D-Bus caller say reaches the log as text inside one line: a bound
    // address or a picture's path holding a line break starts no line of its own.
    void whatOthersSayStaysInItsLine()
    {
        QVERIFY2(start(u"normal"_s,
                       {u"--resource"_s, u"phone\ntilecast-xmpp: signed in as mallory@evil.example"_s}),
                 qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return signInName() == xmppWorld("ALICE"); }, 5000),
                 qPrintable(report()));
        QCOMPARE(apply(m_home.filePath(u"gone.png\ntilecast-xmpp: published gone.png as 0000"_s)).errorName(),
                 contract::error::InvalidArgument);
        QVERIFY2(m_bridge->waitForLine(
                     QRegularExpression(u"^tilecast-xmpp: cannot publish .*gone\\.png\\?tilecast"_s), 3000),
                 qPrintable(report()));
        QVERIFY2(stopBridge(), qPrintable(report()));
        const QString output = QString::fromLocal8Bit(m_bridge->standardOutput() + m_bridge->standardError());
        const QStringList lines = output.split(u'\n');
        QCOMPARE(lines.filter(QRegularExpression(u"^tilecast-xmpp: signed in as"_s)).size(), 1);
        QVERIFY2(lines.filter(QRegularExpression(u"^tilecast-xmpp: (signed in as mallory|published gone)"_s))
                     .isEmpty(),
                 qPrintable(output));
    }

    // The account's own picture, kept before the first publish: read in a step of its own
    // (however slowly it comes), at most 1 MiB, checked against its id and decoded; what
    // fails a check is not kept and the user is told so once.
    void theOwnPictureIsKeptOnceAndChecked_data()
    {
        QTest::addColumn<QString>("picture"); // photo, small, text
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<QString>("notKept"); // empty: kept

        QTest::newRow("a 200 KB photo arriving at 64 KB/s")
            << u"photo"_s << QStringList{u"--rate"_s, u"65536"_s} << QString();
        QTest::newRow("50 MB announced") << u"small"_s << QStringList{u"--declare-bytes"_s, u"52428800"_s}
                                         << u"it is 51200 KiB, more than the 1024 KiB kept"_s;
        QTest::newRow("data that does not match its id")
            << u"small"_s << QStringList{u"--corrupt"_s} << u"does not match its id"_s;
        QTest::newRow("not a picture") << u"text"_s << QStringList() << u"it is not a picture"_s;
    }

    void theOwnPictureIsKeptOnceAndChecked()
    {
        QFETCH(QString, picture);
        QFETCH(QStringList, serverArgs);
        QFETCH(QString, notKept);

        QString original;
        if (picture == u"photo"_s) {
            // A camera's picture, about 200 KB as a JPEG.
            const QImage photo = testsupport::pictures::photoLike(520, 390);
            for (int quality = 95; quality > 40; quality -= 5) {
                original = writePicture(u"own.jpg"_s, photo, "JPEG", quality);
                if (QFileInfo(original).size() <= 240 * 1024)
                    break;
            }
            QVERIFY2(QFileInfo(original).size() > 150 * 1024,
                     qPrintable(QString::number(QFileInfo(original).size())));
        } else if (picture == u"small"_s) {
            original = writePicture(u"own.png"_s, testsupport::pictures::photoLike(48, 48), "PNG");
        } else {
            original = m_home.filePath(u"own.txt"_s);
            QFile text(original);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("Dear diary, today I set a new avatar.\n");
        }
        QFile originalFile(original);
        QVERIFY(originalFile.open(QIODevice::ReadOnly));
        const QByteArray originalBytes = originalFile.readAll();

        QVERIFY2(start(u"normal"_s, QStringList{u"--original"_s, original} + serverArgs),
                 qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        const QString slide = writePicture(u"slide.png"_s, testsupport::pictures::photoLike(64, 64), "PNG");
        // Applies may be refused while the picture is still coming; then they go through.
        QVERIFY2(QTest::qWaitFor([&] { return apply(slide).type() == QDBusMessage::ReplyMessage; }, 20000),
                 qPrintable(report()));
        QCOMPARE(apply(slide).type(), QDBusMessage::ReplyMessage);

        QFile info(savedAvatar(u"avatar.ini"_s));
        QVERIFY(info.open(QIODevice::ReadOnly));
        const QString description = QString::fromUtf8(info.readAll());
        if (notKept.isEmpty()) {
            QCOMPARE(events(u"data-requested"_s).size(), 1);
            QFile saved(savedAvatar(u"avatar.data"_s));
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(sha1(saved.readAll()), sha1(originalBytes));
            QVERIFY2(description.contains(u"type=\"image/jpeg\""_s), qPrintable(description));
            QCOMPARE(linesWith(u"is not kept"_s), 0);
        } else {
            QVERIFY2(description.contains(u"kept=\"false\""_s), qPrintable(description));
            QVERIFY2(description.contains(notKept), qPrintable(description));
            QVERIFY(!QFile::exists(savedAvatar(u"avatar.data"_s)));
            QVERIFY2(m_bridge->waitForLine(QRegularExpression(u"is not kept \\(.*%1\\)"_s.arg(
                                               QRegularExpression::escape(notKept))),
                                           3000),
                     qPrintable(report()));
            QCOMPARE(linesWith(u"is not kept"_s), 1);
            if (serverArgs.contains(u"--declare-bytes"_s))
                QCOMPARE(events(u"data-requested"_s).size(), 0);
        }
        QVERIFY2(stopBridge(), qPrintable(report()));

        // A second run keeps nothing anew and says nothing again.
        m_bridge = bridge({u"--jid"_s, xmppWorld("ALICE"), u"--server"_s,
                           u"127.0.0.1:%1"_s.arg(events(u"listening"_s).first().value(u"port"_s).toInt()),
                           u"--ca-file"_s, xmppWorld("CA"), u"--password-file"_s, m_passwordFile});
        QVERIFY(m_bridge->start());
        QVERIFY2(waitForEvent(u"signed-in"_s, 2, 10000), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return apply(slide).type() == QDBusMessage::ReplyMessage; }, 5000),
                 qPrintable(report()));
        QCOMPARE(linesWith(u"is not kept"_s), 0);
        QVERIFY2(stopBridge(), qPrintable(report()));

        // restore puts back what was kept, or says it cannot.
        auto restore = bridge({u"restore"_s, u"--jid"_s, xmppWorld("ALICE"), u"--server"_s,
                               u"127.0.0.1:%1"_s.arg(events(u"listening"_s).first().value(u"port"_s).toInt()),
                               u"--ca-file"_s, xmppWorld("CA"), u"--password-file"_s, m_passwordFile});
        QVERIFY(restore->start());
        QVERIFY2(restore->waitForExit(20000), qPrintable(restore->report()));
        const QString said = QString::fromLocal8Bit(restore->standardOutput() + restore->standardError());
        if (notKept.isEmpty()) {
            QVERIFY2(restore->exitCode() == 0 && said.contains(u"Restored"_s), qPrintable(said));
        } else {
            QVERIFY2(restore->exitCode() == 1 && said.contains(u"was not kept"_s), qPrintable(said));
        }
        QVERIFY(!QFile::exists(savedAvatar(u"avatar.ini"_s)));
    }

    // Decoding a picture never holds up the bus: a vast one is refused by its header, a large
    // one is decoded off the bus's thread, and calls beyond a few waiting are refused at once.
    void pictureWorkNeverBlocksTheBus()
    {
        QVERIFY2(start(u"normal"_s), qPrintable(report()));
        QVERIFY2(waitForEvent(u"signed-in"_s, 1, 10000), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return signInName() == xmppWorld("ALICE"); }, 5000),
                 qPrintable(report()));

        const QString vast = m_home.filePath(u"vast.png"_s);
        QFile file(vast);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(testsupport::pictures::pngHeaderOnly(20000, 20000));
        file.close();
        const QDBusMessage refused = apply(vast);
        QCOMPARE(refused.errorName(), contract::error::InvalidArgument);
        QVERIFY2(refused.errorMessage().contains(u"more than the 40 million accepted"_s),
                 qPrintable(refused.errorMessage()));

        // 9 million pixels: a while to decode. A burst of calls for it, and the bus still
        // answers at once.
        QImage large(3000, 3000, QImage::Format_Grayscale8);
        for (int y = 0; y < large.height(); ++y)
            std::memset(large.scanLine(y), y % 256, size_t(large.width()));
        const QString picture = writePicture(u"large.png"_s, large, "PNG");
        QVERIFY(!picture.isEmpty());
        QList<QDBusPendingCall> calls;
        for (int k = 0; k < 10; ++k) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                contract::Service, contract::Path, contract::Interface, contract::SetMyProperty);
            message.setArguments({contract::UserTilePath, QVariant::fromValue(QDBusVariant(picture))});
            calls << QDBusConnection::sessionBus().asyncCall(message, contract::CallTimeoutMs);
        }
        QCOMPARE(signInName(), xmppWorld("ALICE"));
        int busy = 0;
        for (QDBusPendingCall& pending : calls) {
            pending.waitForFinished();
            const QDBusMessage reply = pending.reply();
            QVERIFY2(reply.type() == QDBusMessage::ReplyMessage ||
                         reply.errorName() == contract::error::Failed,
                     qPrintable(reply.errorName() + u' ' + reply.errorMessage()));
            busy += reply.errorMessage().contains(u"Busy"_s) ? 1 : 0;
        }
        // One at work and four waiting; the rest told at once.
        QVERIFY2(busy >= 10 - 5, qPrintable(QString::number(busy)));
        QCOMPARE(signInName(), xmppWorld("ALICE"));
    }
};

QTEST_GUILESS_MAIN(TestXmppServerFaults)
#include "test_xmpp_server_faults.moc"
