// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

#include "contract/MessengerContract.h"
#include "support/A11yTree.h"
#include "support/DesktopSession.h"
#include "support/Pictures.h"
#include "support/ProcessUnderTest.h"
#include "support/ProgramTexts.h"
#include "support/TilecastUnderTest.h"
#include "support/XmppWorld.h"
#include "support/XWindows.h"

using namespace Qt::StringLiterals;
using testsupport::A11yTree;
using testsupport::ProcessUnderTest;
using testsupport::xmppWorld;
using testsupport::XWindow;
using testsupport::XWindows;

namespace {

using testsupport::ErrorLine;
const QString Observer = QStringLiteral(TILECAST_SOURCE_DIR "/tests/xmpp/xmpp_observer.py");

} // namespace

// Tilecast with tilecast-xmpp signed in as alice to a local Prosody (TLS from the world's own
// authority), and what alice's contact bob and alice's other client see, through a client
// that is not ours (slixmpp). Run through scripts/xmpp-world inside scripts/desktop-session;
// the functions run in order, each continuing where the one before left off.
class TestXmppEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_folder;
    QStringList m_names;
    QString m_passwordFile;
    testsupport::AvatarWatchers m_watchers{Observer};
    std::unique_ptr<ProcessUnderTest> m_bridge;
    std::unique_ptr<ProcessUnderTest> m_tilecast;
    std::unique_ptr<QProcess> m_prosody; // started again by the test after stopping the world's
    std::unique_ptr<QProcess> m_keyring;
    std::optional<XWindow> m_main;
    QStringList m_published; // ids bob saw from the slide show, in order

    QString report() const
    {
        QString text;
        for (const auto* p : {m_bridge.get(), m_tilecast.get()})
            if (p)
                text += p->report() + u'\n';
        return text + m_watchers.report();
    }

    QStringList bridgeArgs(const QString& passwordFile) const
    {
        return {u"--jid"_s,     xmppWorld("ALICE"), u"--server"_s,        xmppWorld("XMPP"),
                u"--ca-file"_s, xmppWorld("CA"),    u"--password-file"_s, passwordFile};
    }

    std::unique_ptr<ProcessUnderTest> bridge(const QStringList& args)
    {
        return testsupport::xmppBridge(QStringLiteral(TILECAST_XMPP_BIN), args, m_home.path());
    }

    // Runs a command of tilecast-xmpp to its end: exit code and everything it printed.
    std::pair<int, QString> command(const QStringList& args)
    {
        return testsupport::runXmppBridge(QStringLiteral(TILECAST_XMPP_BIN), args, m_home.path());
    }

    bool startBridge()
    {
        m_bridge = bridge(bridgeArgs(m_passwordFile));
        return m_bridge->start() &&
               m_bridge->waitForLine(testsupport::bridgeSignedInLine(xmppWorld("ALICE")), 10000).has_value();
    }

    QDBusMessage callBridge(const QString& method, const QList<QVariant>& args = {}) const
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(contract::Service, contract::Path, contract::Interface, method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, contract::CallTimeoutMs);
    }

    QDBusMessage apply(const QString& path) const
    {
        return callBridge(contract::SetMyProperty,
                          {contract::UserTilePath, QVariant::fromValue(QDBusVariant(path))});
    }

    QString writePasswordFile(const QString& name, const QString& password, mode_t mode)
    {
        const QString path = m_home.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(password.toUtf8() + '\n') <= 0)
            return {};
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, true, false});
        QVERIFY2(!xmppWorld("XMPP").isEmpty(), "run through scripts/xmpp-world");
        QVERIFY(m_home.isValid() && m_folder.isValid());
        m_passwordFile = writePasswordFile(u"alice.password"_s, xmppWorld("ALICE_PASSWORD"), 0600);
        QVERIFY(!m_passwordFile.isEmpty());
        // The stand-in is not running: whatever owns the name is the bridge under test.
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(contract::Service).value());

        QVERIFY2(m_watchers.start(), qPrintable(m_watchers.report()));
        // Fields alice has in her vCard before Tilecast ever changes her picture.
        QVERIFY2(m_watchers.ask(
                     {{u"cmd"_s, u"set_vcard"_s}, {u"fn"_s, u"Alice Liddell"_s}, {u"nickname"_s, u"ali"_s}},
                     u"done"_s),
                 qPrintable(report()));

        // A camera-sized photo, a one-pixel GIF, a sample BMP, and a fourth picture that is
        // gone when its turn comes.
        const QString samples = QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples/");
        m_names = {u"1 camera.jpg"_s, u"2 pixel.gif"_s, u"3 sunset.bmp"_s, u"4 robot.gif"_s};
        QVERIFY(QImage(samples + u"aurora.jpg"_s)
                    .scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(m_folder.filePath(m_names[0]), "JPEG", 90));
        QFile pixel(m_folder.filePath(m_names[1]));
        QVERIFY(pixel.open(QIODevice::WriteOnly));
        QVERIFY(pixel.write(testsupport::pictures::tinyGif()) > 0);
        pixel.close();
        QVERIFY(QFile::copy(samples + u"sunset.bmp"_s, m_folder.filePath(m_names[2])));
        QVERIFY(QFile::copy(samples + u"robot.gif"_s, m_folder.filePath(m_names[3])));
    }

    void tilecastUsesTheXmppMessenger()
    {
        QVERIFY2(startBridge(), qPrintable(report()));
        // A second copy says so and leaves, without signing in.
        const auto [code, output] = command(bridgeArgs(m_passwordFile));
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"already owns org.tilecast.Messenger"_s), qPrintable(output));
        QVERIFY2(!output.contains(u"signed in"_s), qPrintable(output));
        const auto [statusCode, status] = command({u"status"_s});
        QCOMPARE(statusCode, 0);
        QVERIFY2(status.contains(u"signed in as %1"_s.arg(xmppWorld("ALICE"))), qPrintable(status));

        m_tilecast = std::make_unique<ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        m_tilecast->setWorkingDirectory(m_folder.path());
        m_tilecast->setEnv(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
        QVERIFY2(m_tilecast->start(), qPrintable(report()));
        m_main = XWindows::waitFor(
            [](const XWindow& w) { return w.shown() && w.geometry.size() == TilecastUnderTest::mainSize(); },
            10000, m_tilecast->pid());
        QVERIFY2(m_main, qPrintable(report()));
        QString error;
        QVERIFY2(A11yTree::waitFor(
                     m_tilecast->pid(),
                     [](const A11yTree::Node& n) { return n.findByName(u"alice@localhost"_s); }, 5000,
                     &error),
                 qPrintable(error + report()));
    }

    void slideShowBecomesTheAvatar()
    {
        QVERIFY(m_main);
        QVERIFY(TilecastUnderTest::keys(*m_main, {u"Home"_s, u"Return"_s, u"Down"_s, u"Return"_s, u"Down"_s,
                                                  u"Return"_s, u"Down"_s, u"Return"_s}));
        QString error;
        QVERIFY2(A11yTree::waitFor(
                     m_tilecast->pid(),
                     [this](const A11yTree::Node& root) {
                         const auto lists = root.findAll([](const A11yTree::Node& n) {
                             return n.role == u"list"_s && n.name == u"Images In Slide Show:"_s;
                         });
                         QStringList entries;
                         for (const A11yTree::Node& item :
                              lists.value(0) ? lists.first()->children : QList<A11yTree::Node>())
                             entries << item.name;
                         return entries == m_names;
                     },
                     5000, &error),
                 qPrintable(error + report()));
        QVERIFY(QFile::remove(m_folder.filePath(m_names[3])));

        const qsizetype before = m_watchers.avatarIds(u"bob"_s).size();
        QVERIFY(TilecastUnderTest::clickControl(*m_main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([&] { return m_watchers.avatarIds(u"bob"_s).size() >= before + 3; }, 15000),
                 qPrintable(report()));
        m_published = m_watchers.avatarIds(u"bob"_s).mid(before, 3);
        const QList<QSize> sizes = {{96, 72}, {1, 1}, {}};
        for (int k = 0; k < 3; ++k) {
            const QString id = m_published.at(k);
            for (const QString& as : {u"bob"_s, u"alice"_s}) {
                QVERIFY2(QTest::qWaitFor([&] { return m_watchers.fetched(as, id).has_value(); }, 3000),
                         qPrintable(u"%1 never fetched %2\n"_s.arg(as, id) + report()));
                const QJsonObject seen = *m_watchers.fetched(as, id);
                QCOMPARE(seen.value(u"sha1"_s).toString(), id);
                QVERIFY(seen.value(u"png"_s).toBool());
                QCOMPARE(seen.value(u"type"_s).toString(), u"image/png"_s);
                const QSize size(seen.value(u"width"_s).toInt(), seen.value(u"height"_s).toInt());
                QVERIFY2(size.width() <= 96 && size.height() <= 96 && !size.isEmpty(), qPrintable(id));
                QCOMPARE(QSize(seen.value(u"meta_width"_s).toInt(), seen.value(u"meta_height"_s).toInt()),
                         size);
                QCOMPARE(seen.value(u"meta_bytes"_s).toInt(), seen.value(u"bytes"_s).toInt());
                QVERIFY(seen.value(u"bytes"_s).toInt() <= 8192);
                if (sizes.at(k).isValid())
                    QCOMPARE(size, sizes.at(k));
            }
            qInfo("slide %d (%s): bob saw %s", k + 1, qPrintable(m_names.at(k)), qPrintable(id));
        }
        QVERIFY(m_watchers.avatarIds(u"alice"_s).join(u',').contains(m_published.join(u',')));
    }

    void deletedSlidePublishesNothing()
    {
        QVERIFY(m_published.size() == 3);
        QString error;
        QVERIFY2(A11yTree::waitFor(
                     m_tilecast->pid(), [](const A11yTree::Node& n) { return n.findByName(ErrorLine); }, 6000,
                     &error),
                 qPrintable(error + report()));
        QTest::qWait(1000);
        for (const QString& id :
             m_watchers.avatarIds(u"bob"_s).mid(m_watchers.avatarIds(u"bob"_s).indexOf(m_published.first())))
            QVERIFY2(m_published.contains(id), qPrintable(id));

        // A text file named like a JPEG, given straight through the contract.
        const QString notes = m_home.filePath(u"notes.jpg"_s);
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture\n");
        file.close();
        const qsizetype seen = m_watchers.events(u"avatar"_s).size();
        const QDBusMessage reply = apply(notes);
        QCOMPARE(reply.errorName(), contract::error::InvalidArgument);
        QTest::qWait(500);
        QCOMPARE(m_watchers.events(u"avatar"_s).size(), seen);
    }

    void vcardPhotoFollowsAndKeepsTheOtherFields()
    {
        QVERIFY(!m_published.isEmpty());
        // The vCard is written after the avatar's metadata, which contacts are told about at
        // once: a contact may read it in between, and the show goes on meanwhile. So the two
        // are read until they were seen to agree.
        std::optional<QJsonObject> current;
        std::optional<QJsonObject> vcard;
        QVERIFY2(
            QTest::qWaitFor(
                [&] {
                    current = m_watchers.ask({{u"cmd"_s, u"current"_s}, {u"as"_s, u"bob"_s}}, u"current"_s);
                    vcard = m_watchers.ask({{u"cmd"_s, u"vcard"_s}, {u"as"_s, u"bob"_s}}, u"vcard"_s);
                    return current && vcard &&
                           vcard->value(u"photo_sha1"_s).toString() == current->value(u"id"_s).toString();
                },
                8000),
            qPrintable(report()));
        QCOMPARE(vcard->value(u"FN"_s).toString(), u"Alice Liddell"_s);
        QCOMPARE(vcard->value(u"NICKNAME"_s).toString(), u"ali"_s);
        qInfo("vCard-temp conversion by the server: %s", qPrintable(xmppWorld("VCARD_CONVERSION")));
    }

    void losingTheServerIsNoticedAndRepaired()
    {
        QVERIFY(m_bridge && m_tilecast);
        const qint64 prosody = xmppWorld("PROSODY_PID").toLongLong();
        QVERIFY(prosody > 0);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::kill(pid_t(prosody), SIGTERM), 0);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return callBridge(contract::MySigninName).errorName() ==
                                contract::error::NotSignedIn;
                     },
                     3000),
                 qPrintable(report()));
        const qint64 noticedMs = clock.elapsed();
        qInfo("NotSignedIn %lld ms after Prosody was told to stop", qlonglong(noticedMs));
        QVERIFY2(noticedMs < 1000, qPrintable(QString::number(noticedMs)));
        // The bus name stays, so Tilecast does not fall through to another messenger.
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(contract::Service).value());
        const auto splash = XWindows::waitFor(
            [](const XWindow& w) {
                return w.shown() && w.geometry.size() == TilecastUnderTest::splashSize();
            },
            5000, m_tilecast->pid());
        QVERIFY2(splash, qPrintable(report()));

        QTest::qWait(500); // let the old server's process finish leaving
        m_prosody = std::make_unique<QProcess>();
        m_prosody->setProcessChannelMode(QProcess::MergedChannels);
        m_prosody->start(u"prosody"_s, {u"-F"_s, u"--config"_s, xmppWorld("PROSODY_CONFIG")});
        QVERIFY(m_prosody->waitForStarted());
        QVERIFY2(
            QTest::qWaitFor(
                [&] { return callBridge(contract::MySigninName).arguments().value(0) == xmppWorld("ALICE"); },
                15000),
            qPrintable(report() + QString::fromLocal8Bit(m_prosody->readAll())));
        qInfo("signed in again %lld ms after the server went away", qlonglong(clock.elapsed()));
    }

    void refusesBadCredentials_data()
    {
        QTest::addColumn<QString>("jid");
        QTest::addColumn<QString>("passwordFile");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("message");

        QTest::newRow("wrong password")
            << xmppWorld("ALICE") << u"wrong.password"_s << xmppWorld("CA") << u"refused the password"_s;
        QTest::newRow("certificate from another authority")
            << xmppWorld("ALICE") << u"alice.password"_s << xmppWorld("OTHER_CA")
            << u"certificate does not verify"_s;
        // --server names an address; the certificate must still name the JID's domain.
        QTest::newRow("certificate for another domain")
            << xmppWorld("MISMATCHED") << u"alice.password"_s << xmppWorld("CA")
            << u"certificate does not verify"_s;
        QTest::newRow("password file others may read")
            << xmppWorld("ALICE") << u"open.password"_s << xmppWorld("CA") << u"may be read by others"_s;
    }

    void refusesBadCredentials()
    {
        QFETCH(QString, jid);
        QFETCH(QString, passwordFile);
        QFETCH(QString, caFile);
        QFETCH(QString, message);

        writePasswordFile(u"wrong.password"_s, u"not-alices"_s, 0600);
        writePasswordFile(u"open.password"_s, xmppWorld("ALICE_PASSWORD"), 0644);
        const auto [code, output] =
            command({u"login"_s, jid, u"--server"_s, xmppWorld("XMPP"), u"--ca-file"_s, caFile,
                     u"--password-file"_s, m_home.filePath(passwordFile)});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(message), qPrintable(output));
        QCOMPARE(output.trimmed().count(u'\n'), 0); // one line
        QVERIFY(!QFile::exists(m_home.filePath(u"config/tilecast/xmpp.conf"_s)));
    }

    void wrongPasswordStopsTheRetries()
    {
        QVERIFY(m_bridge && m_tilecast);
        m_tilecast.reset();
        QVERIFY(m_bridge->signal(SIGTERM));
        QVERIFY(m_bridge->waitForExit(5000));
        QVERIFY2(m_bridge->exitCode() == 0, qPrintable(m_bridge->report()));
        const auto [code, output] = command({u"status"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"not running"_s), qPrintable(output));

        auto wrong = bridge(bridgeArgs(m_home.filePath(u"wrong.password"_s)));
        QVERIFY(wrong->start());
        QVERIFY2(wrong->waitForLine(QRegularExpression(u"not trying again$"_s), 5000),
                 qPrintable(wrong->report()));
        // Three retries' worth of time: still the one line, still owning the name, not signed in.
        QTest::qWait(3500);
        QVERIFY(wrong->isRunning());
        QCOMPARE(QString::fromLocal8Bit(wrong->standardError()).count(u"refused the password"_s), 1);
        QCOMPARE(callBridge(contract::MySigninName).errorName(), contract::error::NotSignedIn);
        QVERIFY(wrong->signal(SIGTERM));
        QVERIFY(wrong->waitForExit(5000));
    }

    void restoreBringsBackWhatAliceHadBefore()
    {
        QVERIFY(!m_bridge->isRunning());

        // Alice had no avatar before the slide show: restore leaves her with none.
        const QStringList restore = QStringList{u"restore"_s} + bridgeArgs(m_passwordFile);
        auto [code, output] = command(restore);
        QVERIFY2(code == 0 && output.contains(u"had none"_s), qPrintable(output));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return m_watchers.avatarIds(u"bob"_s).value(m_watchers.avatarIds(u"bob"_s).size() -
                                                                     1) == QString();
                     },
                     3000),
                 qPrintable(report()));
        std::tie(code, output) = command(restore);
        QCOMPARE(code, 1); // the copy is gone with the restore

        // Now she has one of her own, and Tilecast changes it over two runs.
        QImage own(64, 64, QImage::Format_RGB32);
        own.fill(Qt::darkGreen);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(own.save(&buffer, "PNG"));
        const auto published = m_watchers.ask(
            {{u"cmd"_s, u"publish"_s}, {u"png_base64"_s, QString::fromLatin1(png.toBase64())}}, u"done"_s);
        QVERIFY2(published, qPrintable(report()));
        const QString ownId = published->value(u"id"_s).toString();
        for (int run = 0; run < 2; ++run) {
            QVERIFY2(startBridge(), qPrintable(report()));
            const QDBusMessage reply = apply(m_folder.filePath(m_names[run]));
            QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
            QVERIFY(m_bridge->signal(SIGTERM));
            QVERIFY(m_bridge->waitForExit(5000));
        }
        QVERIFY(m_watchers.avatarIds(u"bob"_s).last() != ownId);
        std::tie(code, output) = command(restore);
        QVERIFY2(code == 0 && output.contains(u"Restored"_s), qPrintable(output));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return m_watchers.fetched(u"bob"_s, ownId) &&
                                m_watchers.avatarIds(u"bob"_s).last() == ownId;
                     },
                     3000),
                 qPrintable(report()));
        QCOMPARE(m_watchers.fetched(u"bob"_s, ownId)->value(u"sha1"_s).toString(), ownId);
    }

    // The password kept in a Secret Service: gnome-keyring on the desktop's private bus,
    // unlocked by the test, as a desktop session would have it.
    void keychainKeepsThePassword()
    {
        QVERIFY(!m_bridge || !m_bridge->isRunning());
        QVERIFY(QDir().mkpath(m_home.filePath(u"run"_s)));
        QVERIFY(QFile::setPermissions(m_home.filePath(u"run"_s),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_keyring = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_home.path());
        environment.insert(u"XDG_DATA_HOME"_s, m_home.filePath(u"keyring-data"_s));
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_home.filePath(u"run"_s));
        m_keyring->setProcessEnvironment(environment);
        m_keyring->setProcessChannelMode(QProcess::MergedChannels);
        m_keyring->start(u"gnome-keyring-daemon"_s,
                         {u"--foreground"_s, u"--components=secrets"_s, u"--unlock"_s});
        QVERIFY2(m_keyring->waitForStarted(), qPrintable(m_keyring->errorString()));
        m_keyring->write("keyring-password");
        m_keyring->closeWriteChannel();
        QVERIFY2(QTest::qWaitFor(
                     [] {
                         return QDBusConnection::sessionBus()
                             .interface()
                             ->isServiceRegistered(u"org.freedesktop.secrets"_s)
                             .value();
                     },
                     10000),
                 qPrintable(QString::fromLocal8Bit(m_keyring->readAll())));

        // The password from standard input, as a script would give it.
        auto login = bridge({u"login"_s, xmppWorld("ALICE"), u"--server"_s, xmppWorld("XMPP"), u"--ca-file"_s,
                             xmppWorld("CA")});
        QVERIFY(login->start());
        login->write(xmppWorld("ALICE_PASSWORD").toUtf8() + '\n');
        QVERIFY2(login->waitForExit(15000) && login->exitCode() == 0, qPrintable(login->report()));
        QVERIFY2(login->standardOutput().contains("in the keychain"), qPrintable(login->report()));
        QFile settings(m_home.filePath(u"config/tilecast/xmpp.conf"_s));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray stored = settings.readAll();
        QVERIFY(stored.contains(xmppWorld("ALICE").toUtf8()));
        QVERIFY(!stored.contains(xmppWorld("ALICE_PASSWORD").toUtf8()));

        // Nothing on the command line: the address from the settings, the password from the keychain.
        m_bridge = bridge({});
        QVERIFY(m_bridge->start());
        QVERIFY2(m_bridge->waitForLine(testsupport::bridgeSignedInLine(xmppWorld("ALICE")), 10000),
                 qPrintable(report()));
        QCOMPARE(apply(m_folder.filePath(m_names[2])).type(), QDBusMessage::ReplyMessage);
        QVERIFY(m_bridge->signal(SIGTERM));
        QVERIFY(m_bridge->waitForExit(5000));

        auto [code, output] = command({u"logout"_s});
        QVERIFY2(code == 0, qPrintable(output));
        QVERIFY(!QFile::exists(settings.fileName()));
        std::tie(code, output) = command({u"--jid"_s, xmppWorld("ALICE")});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"no password"_s), qPrintable(output));
    }

    void cleanupTestCase()
    {
        if (m_keyring) {
            m_keyring->terminate();
            m_keyring->waitForFinished(3000);
        }
        m_tilecast.reset();
        m_bridge.reset();
        if (m_prosody) {
            m_prosody->terminate();
            m_prosody->waitForFinished(3000);
        }
    }
};

QTEST_MAIN(TestXmppEndToEnd)
#include "test_xmpp_e2e.moc"
