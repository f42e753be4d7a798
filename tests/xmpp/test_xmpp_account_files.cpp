// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "tilecast-xmpp/AccountFiles.h"
#include "tilecast-xmpp/XmppClient.h"

using namespace Qt::StringLiterals;

// The account's files and the rules for what a user types: the settings file and the
// saved avatar under the XDG folders, the password file, --server, JIDs and the retry waits.
class TestXmppAccountFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

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
        QString error;
        QCOMPARE(accountfiles::settingsPath(), m_home.filePath(u"config/tilecast/xmpp.conf"_s));
        QVERIFY(!accountfiles::loadSettings());
        QVERIFY2(accountfiles::saveSettings({u"alice@example.org"_s, u"127.0.0.1:5222"_s, u"/etc/ca.pem"_s},
                                            &error),
                 qPrintable(error));
        const auto loaded = accountfiles::loadSettings();
        QVERIFY(loaded);
        QCOMPARE(loaded->jid, u"alice@example.org"_s);
        QCOMPARE(loaded->server, u"127.0.0.1:5222"_s);
        QCOMPARE(loaded->caFile, u"/etc/ca.pem"_s);

        // Another account replaces the first whole: no server or authority carried over.
        QVERIFY(accountfiles::saveSettings({u"bob@example.net"_s, {}, {}}, &error));
        QCOMPARE(accountfiles::loadSettings()->server, QString());
        QCOMPARE(accountfiles::loadSettings()->caFile, QString());

        QVERIFY(accountfiles::forgetSettings(&error));
        QVERIFY(!accountfiles::loadSettings());
        QVERIFY(!QFile::exists(accountfiles::settingsPath()));
        QVERIFY(accountfiles::forgetSettings(&error)); // nothing there: still fine
    }

    void theFirstSavedAvatarIsNeverReplaced()
    {
        const QString jid = u"alice@example.org"_s;
        QString error;
        QVERIFY(!accountfiles::hasSavedAvatar(jid));
        QVERIFY(accountfiles::savedAvatarDir(jid).startsWith(m_home.filePath(u"data/tilecast/"_s)));

        QVERIFY(accountfiles::saveAvatarOnce(jid, {true, "first picture", u"image/jpeg"_s}, &error));
        // A later run publishes again: the copy stays the user's own picture.
        QVERIFY(accountfiles::saveAvatarOnce(jid, {true, "tilecast's picture", u"image/png"_s}, &error));
        QVERIFY(accountfiles::saveAvatarOnce(jid, {}, &error));
        auto saved = accountfiles::loadSavedAvatar(jid);
        QVERIFY(saved);
        QVERIFY(saved->hadAvatar);
        QCOMPARE(saved->data, QByteArray("first picture"));
        QCOMPARE(saved->type, u"image/jpeg"_s);
        // Per account.
        QVERIFY(!accountfiles::hasSavedAvatar(u"bob@example.org"_s));

        QVERIFY(accountfiles::forgetSavedAvatar(jid, &error));
        QVERIFY(!accountfiles::loadSavedAvatar(jid));
        // "Had none" is remembered too, distinct from "nothing saved".
        QVERIFY(accountfiles::saveAvatarOnce(jid, {}, &error));
        saved = accountfiles::loadSavedAvatar(jid);
        QVERIFY(saved);
        QVERIFY(!saved->hadAvatar);
        QVERIFY(accountfiles::forgetSavedAvatar(jid, &error));
    }

    void aSavedAvatarWithoutItsDataDoesNotCount()
    {
        // Interrupted between the two files, or tampered with: better no copy than an
        // empty one that restore would publish as "no avatar".
        const QString jid = u"carol@example.org"_s;
        QString error;
        QVERIFY(accountfiles::saveAvatarOnce(jid, {true, "picture", u"image/png"_s}, &error));
        QVERIFY(QFile::remove(accountfiles::savedAvatarDir(jid) + u"/avatar.data"_s));
        QVERIFY(!accountfiles::loadSavedAvatar(jid));
        QVERIFY(accountfiles::forgetSavedAvatar(jid, &error));
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
        QString error;
        const std::optional<QString> read = accountfiles::readPasswordFile(path, &error);
        if (password.isEmpty()) {
            QVERIFY(!read);
            QVERIFY2(error.contains(reason), qPrintable(error));
        } else {
            QVERIFY2(read, qPrintable(error));
            QCOMPARE(*read, password);
        }
    }

    void passwordFileThatIsNoFile()
    {
        QString error;
        QVERIFY(!accountfiles::readPasswordFile(m_home.filePath(u"missing"_s), &error));
        QVERIFY2(error.contains(u"No such file"_s), qPrintable(error));
        QVERIFY(!accountfiles::readPasswordFile(m_home.path(), &error));
        QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
        // A FIFO nobody writes to must be refused, not waited on forever.
        const QString fifo = m_home.filePath(u"fifo"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!accountfiles::readPasswordFile(fifo, &error));
        QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
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
    }

    void jid()
    {
        QFETCH(QString, text);
        QFETCH(QString, bare);

        QString error;
        const std::optional<QString> result = accountfiles::normaliseJid(text, &error);
        if (bare.isEmpty()) {
            QVERIFY(!result);
            QVERIFY(error.contains(text));
        } else {
            QVERIFY2(result, qPrintable(error));
            QCOMPARE(*result, bare);
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
