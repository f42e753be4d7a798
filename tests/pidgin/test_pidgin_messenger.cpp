// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDBusConnectionInterface>
#include <QImage>
#include <QtTest>

#include <sys/stat.h>

#include "contract/MessengerContract.h"
#include "messenger/ChooseMessenger.h"
#include "messenger/ContractClient.h"
#include "messenger/PidginMessenger.h"
#include "support/FakePidgin.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FakeAccount)
using Accounts = QList<FakeAccount>;

namespace {

const QString IconPref = QStringLiteral("/pidgin/accounts/buddyicon");

FakeAccount alice(int id = 7, bool connected = true, bool usesGlobalIcon = true)
{
    return {id, QStringLiteral("alice@localhost/pidgin"), connected, usesGlobalIcon};
}

// Calls that could change what the user's contacts see.
QStringList iconChanges(const QStringList& calls)
{
    QStringList changes;
    for (const QString& call : calls)
        if (call.startsWith(QStringLiteral("PrefsSetPath")) ||
            call.startsWith(QStringLiteral("PrefsTrigger")))
            changes << call;
    return changes;
}

} // namespace

// The Pidgin back-end against a fake Pidgin on a private session bus (dbus-run-session).
class TestPidginMessenger : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_gif;

    QString file(const QString& name) const { return m_dir.filePath(name); }

    static std::unique_ptr<Messenger> connect()
    {
        auto created = PidginMessenger::create();
        if (!created) {
            qWarning("%s", qPrintable(created.failure()));
            return nullptr;
        }
        return created.take();
    }

    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        QVERIFY(m_dir.isValid());
        const QString samples =
            qEnvironmentVariable("TILECAST_SOURCE_DIR") + QStringLiteral("/resources/samples/");
        m_gif = samples + QStringLiteral("tiles.gif");
        QVERIFY(QFile::exists(m_gif));
        QVERIFY(QFile::copy(samples + QStringLiteral("aurora.jpg"), file(QStringLiteral("photo.jpg"))));
        QVERIFY(QFile::copy(samples + QStringLiteral("sunset.bmp"), file(QStringLiteral("sunset.bmp"))));
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(file(QStringLiteral("drawing.png")), "PNG"));
        QVERIFY(image.save(file(QStringLiteral("png-inside.gif")), "PNG"));
        QVERIFY(image.save(file(QStringLiteral("portable-pixmap.bmp")), "PPM"));
        QFile png(file(QStringLiteral("drawing.png")));
        QVERIFY(png.open(QIODevice::ReadOnly));
        QVERIFY(write(file(QStringLiteral("cut-short.png")), png.read(12)));
        QVERIFY(write(file(QStringLiteral("notes.gif")), "These are not the pixels you are looking for.\n"));
        QVERIFY(write(file(QStringLiteral("empty.jpg")), {}));
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.gif")));
        QCOMPARE(::mkfifo(QFile::encodeName(file(QStringLiteral("pipe.gif"))).constData(), 0600), 0);
    }

    void choosesTheRunningMessenger_data()
    {
        QTest::addColumn<bool>("standInRuns");
        QTest::addColumn<bool>("pidginRuns");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("Pidgin alone") << false << true << u"Pidgin"_s;
        QTest::newRow("the stand-in comes first") << true << true << u"stand-in"_s;
        QTest::newRow("the stand-in alone") << true << false << u"stand-in"_s;
        QTest::newRow("neither") << false << false << u""_s;
    }

    void choosesTheRunningMessenger()
    {
        QFETCH(bool, standInRuns);
        QFETCH(bool, pidginRuns);
        QFETCH(QString, chosen);
        FakePidgin pidgin({alice()});
        if (pidginRuns)
            TILECAST_START_FAKE_PIDGIN(pidgin);
        // The choice only asks who owns the stand-in's name.
        QDBusConnection standIn =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in"));
        const auto cleanup =
            qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("stand-in")); });
        if (standInRuns) {
            const auto owned = standIn.interface()->registerService(contract::Service);
            QVERIFY2(owned.isValid(), qPrintable(owned.error().message()));
        }

        auto created = createMessenger();
        if (chosen.isEmpty()) {
            QVERIFY(!created.ok());
            QVERIFY2(created.failure().contains(contract::Service) &&
                         created.failure().contains(PidginMessenger::Service),
                     qPrintable(created.failure()));
            return;
        }
        QVERIFY2(created.ok(), qPrintable(created.failure()));
        const std::unique_ptr<Messenger> messenger = created.take();
        const bool isPidgin = dynamic_cast<PidginMessenger*>(messenger.get()) != nullptr;
        QCOMPARE(isPidgin ? QStringLiteral("Pidgin") : QStringLiteral("stand-in"), chosen);
    }

    void readsTheSignedInAccount_data()
    {
        QTest::addColumn<Accounts>("accounts");
        QTest::addColumn<QString>("name"); // null: reading fails
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("XMPP account, resource left out")
            << Accounts{alice(7)} << u"alice@localhost"_s
            << QStringList{u"GetAllActive"_s, u"IsConnected 7"_s, u"GetUsername 7"_s};
        QTest::newRow("resource holding a slash")
            << Accounts{{3, QStringLiteral("bob@example.org/home/desk"), true, true}} << u"bob@example.org"_s
            << QStringList{u"GetAllActive"_s, u"IsConnected 3"_s, u"GetUsername 3"_s};
        QTest::newRow("name without resource")
            << Accounts{{1, QStringLiteral("carol@irc.example.net"), true, true}}
            << u"carol@irc.example.net"_s
            << QStringList{u"GetAllActive"_s, u"IsConnected 1"_s, u"GetUsername 1"_s};
        QTest::newRow("the first connected account")
            << Accounts{{4, QStringLiteral("dave@a.example/x"), false, true},
                        {9, QStringLiteral("erin@b.example/y"), true, true}}
            << u"erin@b.example"_s
            << QStringList{u"GetAllActive"_s, u"IsConnected 4"_s, u"IsConnected 9"_s, u"GetUsername 9"_s};
        QTest::newRow("enabled, not connected")
            << Accounts{alice(2, false)} << QString() << QStringList{u"GetAllActive"_s, u"IsConnected 2"_s};
        QTest::newRow("no enabled account") << Accounts{} << QString() << QStringList{u"GetAllActive"_s};
    }

    void readsTheSignedInAccount()
    {
        QFETCH(Accounts, accounts);
        QFETCH(QString, name);
        QFETCH(QStringList, calls);
        FakePidgin pidgin(accounts);
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const auto messenger = connect();
        QVERIFY(messenger);

        const Outcome<QString> read = messenger->signinName();
        if (name.isNull()) {
            QVERIFY(!read.ok());
            QVERIFY2(read.failure().contains(QStringLiteral("signed in")), qPrintable(read.failure()));
        } else {
            QVERIFY2(read.ok(), qPrintable(read.failure()));
            QCOMPARE(read.value(), name);
        }
        // Nothing cached: ids are looked up afresh for every read.
        QCOMPARE(pidgin.calls(), calls);
    }

    void setsTheGlobalBuddyIcon_data()
    {
        QTest::addColumn<Accounts>("accounts");
        QTest::addColumn<bool>("hasIconPref");
        QTest::addColumn<QString>("failure"); // empty: the icon is set
        QTest::newRow("one account") << Accounts{alice()} << true << u""_s;
        QTest::newRow("one of two takes the global icon")
            << Accounts{alice(1, true, false), {2, QStringLiteral("bob@localhost/x"), true, true}} << true
            << u""_s;
        QTest::newRow("the only connected account has an icon of its own")
            << Accounts{alice(1, true, false), {2, QStringLiteral("bob@localhost/x"), false, true}} << true
            << u"global buddy icon"_s;
        QTest::newRow("nobody signed in") << Accounts{alice(1, false)} << true << u"signed in"_s;
        QTest::newRow("no global icon (not Pidgin's GTK interface)")
            << Accounts{alice()} << false << IconPref;
    }

    void setsTheGlobalBuddyIcon()
    {
        QFETCH(Accounts, accounts);
        QFETCH(bool, hasIconPref);
        QFETCH(QString, failure);
        FakePidgin pidgin(accounts, hasIconPref);
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const auto messenger = connect();
        QVERIFY(messenger);

        const Status set = messenger->applyDisplayPicture(m_gif);
        if (failure.isEmpty()) {
            QVERIFY2(set.ok(), qPrintable(set.failure()));
            QCOMPARE(pidgin.sentIcons(), QStringList{m_gif});
        } else {
            QVERIFY(!set.ok());
            QVERIFY2(set.failure().contains(failure), qPrintable(set.failure()));
            QCOMPARE(iconChanges(pidgin.calls()), QStringList());
        }
    }

    // The slide show applies the same path again on purpose (one picture twice in a row,
    // or a file rewritten under its name); Pidgin ignores a path it already holds.
    void everyApplySendsTheIcon()
    {
        FakePidgin pidgin({alice()});
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const QString jpeg = file(QStringLiteral("photo.jpg"));
        for (const QString& path : {m_gif, m_gif, jpeg, jpeg, m_gif}) {
            const auto messenger = connect();
            QVERIFY(messenger);
            const Status set = messenger->applyDisplayPicture(path);
            QVERIFY2(set.ok(), qPrintable(set.failure()));
        }
        QCOMPARE(pidgin.sentIcons(), (QStringList{m_gif, m_gif, jpeg, jpeg, m_gif}));
        QCOMPARE(
            iconChanges(pidgin.calls()),
            (QStringList{u"PrefsSetPath "_s + IconPref + u' ' + m_gif, u"PrefsTriggerCallback "_s + IconPref,
                         u"PrefsSetPath "_s + IconPref + u' ' + jpeg, u"PrefsTriggerCallback "_s + IconPref,
                         u"PrefsSetPath "_s + IconPref + u' ' + m_gif}));
    }

    void relativePathReachesPidginWhole()
    {
        FakePidgin pidgin({alice()});
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
        const auto messenger = connect();
        QVERIFY(messenger);
        QVERIFY(messenger->applyDisplayPicture(QStringLiteral("photo.jpg")).ok());
        QCOMPARE(pidgin.sentIcons(), QStringList{file(QStringLiteral("photo.jpg"))});
    }

    // Pidgin takes any path and, when it cannot load the picture, clears the user's icon.
    void pictureIsCheckedBeforePidginIsAsked_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("GIF") << u""_s << u""_s;
        QTest::newRow("JPEG") << u"photo.jpg"_s << u""_s;
        QTest::newRow("BMP") << u"sunset.bmp"_s << u""_s;
        QTest::newRow("PNG") << u"drawing.png"_s << u""_s;
        QTest::newRow("PNG named .gif: the content counts") << u"png-inside.gif"_s << u""_s;
        QTest::newRow("missing") << u"deleted.gif"_s << u"no such file"_s;
        QTest::newRow("empty file") << u"empty.jpg"_s << u"the file is empty"_s;
        QTest::newRow("text named .gif") << u"notes.gif"_s << u"not a GIF, JPEG, BMP or PNG"_s;
        QTest::newRow("another image format") << u"portable-pixmap.bmp"_s << u"only GIF, JPEG, BMP and PNG"_s;
        QTest::newRow("header cut short") << u"cut-short.png"_s << u"header cannot be read"_s;
        QTest::newRow("directory") << u"folder.gif"_s << u"directory"_s;
        QTest::newRow("FIFO, never opened") << u"pipe.gif"_s << u"FIFO"_s;
        QTest::newRow("empty path") << u"<empty>"_s << u"the path is empty"_s;
    }

    void pictureIsCheckedBeforePidginIsAsked()
    {
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        const QString path = name.isEmpty()                      ? m_gif
                             : name == QStringLiteral("<empty>") ? QString()
                                                                 : file(name);
        FakePidgin pidgin({alice()});
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const auto messenger = connect();
        QVERIFY(messenger);

        const Status set = messenger->applyDisplayPicture(path);
        if (refusal.isEmpty()) {
            QVERIFY2(set.ok(), qPrintable(set.failure()));
            QCOMPARE(pidgin.sentIcons(), QStringList{path});
        } else {
            QVERIFY(!set.ok());
            QVERIFY2(set.failure().contains(refusal), qPrintable(set.failure()));
            QCOMPARE(pidgin.calls(), QStringList());
        }
    }

    // The watchdog holds one object for its reads: Pidgin quitting must make them fail.
    void pidginQuitsUnderAHeldObject()
    {
        FakePidgin pidgin({alice()});
        TILECAST_START_FAKE_PIDGIN(pidgin);
        const auto messenger = connect();
        QVERIFY(messenger);
        QVERIFY(messenger->signinName().ok());

        pidgin.stop();
        const Outcome<QString> read = messenger->signinName();
        QVERIFY(!read.ok());
        QVERIFY2(read.failure().contains(PidginMessenger::Service), qPrintable(read.failure()));
        QVERIFY(!messenger->applyDisplayPicture(m_gif).ok());
        QVERIFY(!PidginMessenger::create().ok());
    }
};

QTEST_MAIN(TestPidginMessenger)
#include "test_pidgin_messenger.moc"
