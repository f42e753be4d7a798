// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "tilecast-xmpp/AccountFiles.h"
#include "tilecast-xmpp/XmppClient.h"

using namespace Qt::StringLiterals;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

bool isLink(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

accountfiles::SavedAvatar kept(const QByteArray& data, const QString& type)
{
    accountfiles::SavedAvatar avatar;
    avatar.kind = accountfiles::SavedAvatar::Kind::Kept;
    avatar.data = data;
    avatar.type = type;
    return avatar;
}

} // namespace

// The account's files and the rules for what a user types: the settings file and the
// saved avatar under the XDG folders, the password file, --server, JIDs and the retry waits.
class TestXmppAccountFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    QString readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString writeFile(const QString& name, const QByteArray& bytes, mode_t mode)
    {
        const QString path = m_home.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return {};
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    }

    void settingsLiveUnderTheConfigFolder()
    {
        QCOMPARE(accountfiles::settingsPath(), m_home.filePath(u"config/tilecast/xmpp.conf"_s));
        QVERIFY(!accountfiles::loadSettings());
        const Status saved =
            accountfiles::saveSettings({u"alice@example.org"_s, u"127.0.0.1:5222"_s, u"/etc/ca.pem"_s});
        QVERIFY2(saved, qPrintable(saved.failure()));
        const auto loaded = accountfiles::loadSettings();
        QVERIFY(loaded);
        QCOMPARE(loaded->jid, u"alice@example.org"_s);
        QCOMPARE(loaded->server, u"127.0.0.1:5222"_s);
        QCOMPARE(loaded->caFile, u"/etc/ca.pem"_s);

        // Another account replaces the first whole: no server or authority carried over.
        QVERIFY(accountfiles::saveSettings({u"bob@example.net"_s, {}, {}}));
        QCOMPARE(accountfiles::loadSettings()->server, QString());
        QCOMPARE(accountfiles::loadSettings()->caFile, QString());

        QVERIFY(accountfiles::forgetSettings());
        QVERIFY(!accountfiles::loadSettings());
        QVERIFY(!QFile::exists(accountfiles::settingsPath()));
        QVERIFY(accountfiles::forgetSettings()); // nothing there: still fine
    }

    void theFirstSavedAvatarIsNeverReplaced()
    {
        using Kind = accountfiles::SavedAvatar::Kind;
        const QString jid = u"alice@example.org"_s;
        QVERIFY(!accountfiles::hasSavedAvatar(jid));
        QVERIFY(accountfiles::savedAvatarDir(jid).startsWith(m_home.filePath(u"data/tilecast/"_s)));

        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("first picture", u"image/jpeg"_s)));
        // A later run publishes again: the copy stays the user's own picture.
        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("tilecast's picture", u"image/png"_s)));
        QVERIFY(accountfiles::saveAvatarOnce(jid, {}));
        auto saved = accountfiles::loadSavedAvatar(jid);
        QVERIFY(saved);
        QCOMPARE(saved->kind, Kind::Kept);
        QCOMPARE(saved->data, QByteArray("first picture"));
        QCOMPARE(saved->type, u"image/jpeg"_s);
        // Per account.
        QVERIFY(!accountfiles::hasSavedAvatar(u"bob@example.org"_s));

        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        QVERIFY(!accountfiles::loadSavedAvatar(jid));
        // "Had none" is remembered too, distinct from "nothing saved"; and so is "had one
        // that was not kept", with its reason.
        QVERIFY(accountfiles::saveAvatarOnce(jid, {}));
        saved = accountfiles::loadSavedAvatar(jid);
        QVERIFY(saved);
        QCOMPARE(saved->kind, Kind::None);
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        accountfiles::SavedAvatar tooLarge;
        tooLarge.kind = Kind::NotKept;
        tooLarge.reason = u"it is 2048 KiB, more than the 1024 KiB kept"_s;
        QVERIFY(accountfiles::saveAvatarOnce(jid, tooLarge));
        saved = accountfiles::loadSavedAvatar(jid);
        QVERIFY(saved);
        QCOMPARE(saved->kind, Kind::NotKept);
        QCOMPARE(saved->reason, tooLarge.reason);
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        // More than the cap is never written.
        QVERIFY(!accountfiles::saveAvatarOnce(
            jid, kept(QByteArray(accountfiles::MaxSavedAvatarBytes + 1, 'x'), u"image/png"_s)));
        QVERIFY(!accountfiles::hasSavedAvatar(jid));
    }

    void aSavedAvatarWithoutItsDataDoesNotCount()
    {
        // Interrupted between the two files, or tampered with: better no copy than an
        // empty one that restore would publish as "no avatar".
        const QString jid = u"carol@example.org"_s;
        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("picture", u"image/png"_s)));
        QVERIFY(QFile::remove(accountfiles::savedAvatarDir(jid) + u"/avatar.data"_s));
        QVERIFY(!accountfiles::loadSavedAvatar(jid));
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
    }

    // Under the usual umask of 022 every file would be readable by all, and the folders
    // (named after the JID) listable: neither may be.
    void everythingIsTheUsersAlone()
    {
        const mode_t before = ::umask(022);
        const QString jid = u"dave@example.org"_s;
        QVERIFY(accountfiles::saveSettings({jid, {}, {}}));
        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("dave's picture", u"image/png"_s)));
        ::umask(before);
        const QString dir = accountfiles::savedAvatarDir(jid);
        for (const QString& folder :
             {m_home.filePath(u"config/tilecast"_s), m_home.filePath(u"data/tilecast"_s),
              QFileInfo(dir).absolutePath(), dir})
            QVERIFY2(modeOf(folder) == 0700, qPrintable(u"%1: %2"_s.arg(folder).arg(modeOf(folder), 0, 8)));
        for (const QString& file :
             {accountfiles::settingsPath(), dir + u"/avatar.ini"_s, dir + u"/avatar.data"_s})
            QVERIFY2(modeOf(file) == 0600, qPrintable(u"%1: %2"_s.arg(file).arg(modeOf(file), 0, 8)));

        // What an earlier version left open is closed when it is next read.
        for (const QString& path : {dir, accountfiles::settingsPath(), dir + u"/avatar.data"_s})
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), QFileInfo(path).isDir() ? 0755 : 0644), 0);
        QVERIFY(accountfiles::loadSettings());
        QVERIFY(accountfiles::loadSavedAvatar(jid));
        QCOMPARE(modeOf(dir), mode_t(0700));
        QCOMPARE(modeOf(accountfiles::settingsPath()), mode_t(0600));
        QCOMPARE(modeOf(dir + u"/avatar.data"_s), mode_t(0600));
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        QVERIFY(accountfiles::forgetSettings());
    }

    // A link planted where a file of ours goes is replaced, never written through or read.
    void aPlantedLinkIsNeitherFollowedNorRead()
    {
        const QString jid = u"erin@example.org"_s;
        const QString victim = writeFile(u"victim"_s, "precious", 0644);
        const QString dir = accountfiles::savedAvatarDir(jid);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::link(victim, dir + u"/avatar.data"_s));
        QVERIFY(QFile::link(victim, accountfiles::settingsPath()));

        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("erin's picture", u"image/png"_s)));
        QVERIFY(accountfiles::saveSettings({jid, {}, {}}));
        QCOMPARE(readAll(victim), u"precious"_s);
        QVERIFY(!isLink(dir + u"/avatar.data"_s));
        QVERIFY(!isLink(accountfiles::settingsPath()));
        QCOMPARE(accountfiles::loadSavedAvatar(jid)->data, QByteArray("erin's picture"));

        // Links in place of the files that are read: nothing is read through them.
        QVERIFY(QFile::remove(dir + u"/avatar.data"_s));
        QVERIFY(QFile::link(victim, dir + u"/avatar.data"_s));
        QVERIFY(!accountfiles::loadSavedAvatar(jid));
        QVERIFY(QFile::remove(accountfiles::settingsPath()));
        QVERIFY(QFile::copy(victim, m_home.filePath(u"settings-elsewhere"_s)));
        QVERIFY(QFile::link(m_home.filePath(u"settings-elsewhere"_s), accountfiles::settingsPath()));
        QVERIFY(!accountfiles::loadSettings());

        // A link in place of the account's folder: refused, and forgetting removes the link only.
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        const QString elsewhere = m_home.filePath(u"elsewhere"_s);
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, dir));
        const Status refused = accountfiles::saveAvatarOnce(jid, kept("picture", u"image/png"_s));
        QVERIFY(!refused);
        QVERIFY2(refused.failure().contains(u"not a folder"_s), qPrintable(refused.failure()));
        QVERIFY(QDir(elsewhere).isEmpty());
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
        QVERIFY(QFileInfo(elsewhere).isDir());
        QVERIFY(!QFileInfo::exists(dir));
        QVERIFY(QFile::remove(accountfiles::settingsPath()));
    }

    // Whatever a value holds (another client of the account chooses the picture's type), it
    // stays one value: QSettings and this program's own reader both get it back unchanged,
    // and a line break, which could start a key of its own, is refused.
    void iniValuesCannotAddKeys_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("written");

        QTest::newRow("plain") << u"image/png"_s << true;
        QTest::newRow("quotes and backslashes") << u"a \"b\" \\c\\"_s << true;
        QTest::newRow("list and comment characters") << u"a,b;c=d#e"_s << true;
        QTest::newRow("leading @") << u"@Variant(abc)"_s << true;
        QTest::newRow("section-like") << u"[General]"_s << true;
        QTest::newRow("spaces around") << u"  padded  "_s << true;
        QTest::newRow("non-ASCII") << u"Bild/äöü 漢字"_s << true;
        QTest::newRow("newline and a key") << u"image/png\nhad-avatar=false"_s << false;
        QTest::newRow("carriage return") << u"image/png\rkept=false"_s << false;
        QTest::newRow("NUL") << u"image/png"_s + QChar(0) + u"x"_s << false;
        QTest::newRow("Unicode line separator") << u"a\u2028b=c"_s << false;
    }

    void iniValuesCannotAddKeys()
    {
        QFETCH(QString, value);
        QFETCH(bool, written);

        const Outcome<QByteArray> text =
            accountfiles::iniText(u"General"_s, {{u"type"_s, value}, {u"kept"_s, u"true"_s}});
        QCOMPARE(text.ok(), written);
        if (!written)
            return;
        const QString path =
            writeFile(QString::fromLatin1(QTest::currentDataTag()) + u".ini"_s, text.value(), 0600);
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.allKeys().size(), 2);
        QCOMPARE(settings.value(u"type"_s).toString(), value);
        QCOMPARE(settings.value(u"kept"_s).toString(), u"true"_s);

        // And through the saved avatar, which reads it back with its own reader.
        const QString jid = u"frank@example.org"_s;
        QVERIFY(accountfiles::saveAvatarOnce(jid, kept("picture", value)));
        QCOMPARE(accountfiles::loadSavedAvatar(jid)->type, value);
        QVERIFY(accountfiles::forgetSavedAvatar(jid));
    }

    void caFile_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason"); // empty: accepted

        QTest::newRow("owner may write") << 0644 << QString();
        QTest::newRow("read-only") << 0444 << QString();
        QTest::newRow("group may write") << 0664 << u"may be changed by others"_s;
        QTest::newRow("others may write") << 0646 << u"mode 0646"_s;
    }

    void caFile()
    {
        QFETCH(int, mode);
        QFETCH(QString, reason);

        const QString path = writeFile(u"ca.pem"_s, "-----BEGIN CERTIFICATE-----\n", mode_t(mode));
        const Outcome<QString> checked = accountfiles::checkCaFile(path);
        if (reason.isEmpty()) {
            QVERIFY2(checked, qPrintable(checked.failure()));
            QCOMPARE(checked.value(), QFileInfo(path).absoluteFilePath());
        } else {
            QVERIFY(!checked);
            QVERIFY2(checked.failure().contains(reason), qPrintable(checked.failure()));
        }
        QVERIFY(!accountfiles::checkCaFile(m_home.filePath(u"missing.pem"_s)));
        QVERIFY(!accountfiles::checkCaFile(m_home.path()));
    }

    void passwordFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("password"); // empty: refused
        QTest::addColumn<QString>("reason");

        QTest::newRow("owner only") << QByteArray("s3cret\n") << 0600 << u"s3cret"_s << QString();
        QTest::newRow("read-only for the owner") << QByteArray("s3cret") << 0400 << u"s3cret"_s << QString();
        QTest::newRow("first line only") << QByteArray("first\nsecond\n") << 0600 << u"first"_s << QString();
        QTest::newRow("CRLF") << QByteArray("s3cret\r\n") << 0600 << u"s3cret"_s << QString();
        QTest::newRow("spaces are part of it") << QByteArray(" a b \n") << 0600 << u" a b "_s << QString();
        QTest::newRow("UTF-8") << QByteArray("p\xc3\xa4ss\n") << 0600 << u"p\u00e4ss"_s << QString();
        QTest::newRow("group may read")
            << QByteArray("s3cret\n") << 0640 << QString() << u"may be read by others"_s;
        QTest::newRow("others may read") << QByteArray("s3cret\n") << 0604 << QString() << u"mode 0604"_s;
        QTest::newRow("empty") << QByteArray() << 0600 << QString() << u"no password"_s;
        QTest::newRow("empty first line")
            << QByteArray("\nsecond\n") << 0600 << QString() << u"no password"_s;
    }

    void passwordFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, mode);
        QFETCH(QString, password);
        QFETCH(QString, reason);

        const QString path = writeFile(u"password"_s, content, mode_t(mode));
        QVERIFY(!path.isEmpty());
        const Outcome<QString> read = accountfiles::readPasswordFile(path);
        if (password.isEmpty()) {
            QVERIFY(!read);
            QVERIFY2(read.failure().contains(reason), qPrintable(read.failure()));
        } else {
            QVERIFY2(read, qPrintable(read.failure()));
            QCOMPARE(read.value(), password);
        }
    }

    void passwordFileThatIsNoFile()
    {
        const Outcome<QString> missing = accountfiles::readPasswordFile(m_home.filePath(u"missing"_s));
        QVERIFY2(!missing && missing.failure().contains(u"No such file"_s), qPrintable(missing.failure()));
        const Outcome<QString> folder = accountfiles::readPasswordFile(m_home.path());
        QVERIFY2(!folder && folder.failure().contains(u"not a regular file"_s), qPrintable(folder.failure()));
        // A FIFO nobody writes to must be refused, not waited on forever.
        const QString fifo = m_home.filePath(u"fifo"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const Outcome<QString> pipe = accountfiles::readPasswordFile(fifo);
        QVERIFY2(!pipe && pipe.failure().contains(u"not a regular file"_s), qPrintable(pipe.failure()));
    }

    void server_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("name") << u"xmpp.example.org"_s << true << u"xmpp.example.org"_s << 0;
        QTest::newRow("name and port") << u"xmpp.example.org:5223"_s << true << u"xmpp.example.org"_s << 5223;
        QTest::newRow("IPv4 and port") << u"127.0.0.1:5222"_s << true << u"127.0.0.1"_s << 5222;
        QTest::newRow("IPv6") << u"[::1]"_s << true << u"::1"_s << 0;
        QTest::newRow("IPv6 and port") << u"[::1]:5222"_s << true << u"::1"_s << 5222;
        QTest::newRow("port 0") << u"host:0"_s << false << QString() << 0;
        QTest::newRow("port too big") << u"host:65536"_s << false << QString() << 0;
        QTest::newRow("port not a number") << u"host:xmpp"_s << false << QString() << 0;
        QTest::newRow("no port after colon") << u"host:"_s << false << QString() << 0;
        QTest::newRow("no host") << u":5222"_s << false << QString() << 0;
        QTest::newRow("empty") << QString() << false << QString() << 0;
        QTest::newRow("bare IPv6 without brackets") << u"::1"_s << false << QString() << 0;
        QTest::newRow("unclosed bracket") << u"[::1:5222"_s << false << QString() << 0;
        QTest::newRow("a URL") << u"xmpp://host"_s << false << QString() << 0;
    }

    void server()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, host);
        QFETCH(int, port);

        QString parsedHost;
        quint16 parsedPort = 1;
        QCOMPARE(accountfiles::parseServer(text, &parsedHost, &parsedPort), valid);
        if (valid) {
            QCOMPARE(parsedHost, host);
            QCOMPARE(int(parsedPort), port);
        }
    }

    void jid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("bare"); // empty: refused

        QTest::newRow("plain") << u"alice@example.org"_s << u"alice@example.org"_s;
        QTest::newRow("domain lower-cased, node kept") << u"Alice@Example.ORG"_s << u"Alice@example.org"_s;
        QTest::newRow("surrounding spaces") << u" alice@example.org "_s << u"alice@example.org"_s;
        QTest::newRow("resource") << u"alice@example.org/phone"_s << QString();
        QTest::newRow("no node") << u"example.org"_s << QString();
        QTest::newRow("empty node") << u"@example.org"_s << QString();
        QTest::newRow("empty domain") << u"alice@"_s << QString();
        QTest::newRow("two @") << u"a@b@example.org"_s << QString();
        QTest::newRow("space inside") << u"al ice@example.org"_s << QString();
        QTest::newRow("line break inside") << u"alice@example.org\nx"_s << QString();
    }

    void jid()
    {
        QFETCH(QString, text);
        QFETCH(QString, bare);

        const Outcome<QString> result = accountfiles::normaliseJid(text);
        if (bare.isEmpty()) {
            QVERIFY(!result);
            QVERIFY(result.failure().contains(text));
        } else {
            QVERIFY2(result, qPrintable(result.failure()));
            QCOMPARE(result.value(), bare);
        }
    }

    void retriesWaitLongerUpToAMinute()
    {
        QList<int> waits;
        for (int attempt = 0; attempt < 9; ++attempt)
            waits << XmppClient::retryDelayMs(attempt) / 1000;
        QCOMPARE(waits, (QList<int>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
        QCOMPARE(XmppClient::retryDelayMs(1000), 60000);
    }
};

QTEST_GUILESS_MAIN(TestXmppAccountFiles)
#include "test_xmpp_account_files.moc"
