// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "contract/MessengerContract.h"
#include "support/Pictures.h"
#include "support/ProcessUnderTest.h"
#include "support/XmppWorld.h"

using namespace Qt::StringLiterals;
using testsupport::ProcessUnderTest;
using testsupport::xmppWorld;

namespace {

const QString Observer = QStringLiteral(TILECAST_SOURCE_DIR "/tests/xmpp/xmpp_observer.py");

QString sha1(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

} // namespace

// tilecast-xmpp beside the account's other clients, on a real Prosody (scripts/xmpp-world,
// once with XEP-0398 conversion and once without): what they store in the account is the
// user's, however large or odd, and must come through the bridge whole. alice's other client
// and her contact bob are slixmpp (tests/xmpp/xmpp_observer.py); the functions run in order.
class TestXmppOtherClients : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_passwordFile;
    QString m_slide;
    testsupport::AvatarWatchers m_watchers{Observer};
    std::unique_ptr<ProcessUnderTest> m_bridge;

    QString report() const
    {
        return (m_bridge ? m_bridge->report() + u'\n' : QString()) + m_watchers.report();
    }

    QStringList accountArgs() const
    {
        return {u"--jid"_s,     xmppWorld("ALICE"), u"--server"_s,        xmppWorld("XMPP"),
                u"--ca-file"_s, xmppWorld("CA"),    u"--password-file"_s, m_passwordFile};
    }

    // Signed in; the address the server bound.
    std::optional<QString> startBridge()
    {
        m_bridge = testsupport::xmppBridge(QStringLiteral(TILECAST_XMPP_BIN), accountArgs(), m_home.path());
        if (!m_bridge->start())
            return std::nullopt;
        const std::optional<QString> line =
            m_bridge->waitForLine(testsupport::bridgeSignedInLine(xmppWorld("ALICE")), 10000);
        if (!line)
            return std::nullopt;
        return testsupport::bridgeSignedInLine(xmppWorld("ALICE")).match(*line).captured(1);
    }

    bool stopBridge() { return testsupport::stopBridgeCleanly(*m_bridge); }

    std::pair<int, QString> restore() const
    {
        return testsupport::runXmppBridge(QStringLiteral(TILECAST_XMPP_BIN),
                                          QStringList{u"restore"_s} + accountArgs(), m_home.path(), 30000);
    }

    QDBusMessage apply(const QString& path) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(contract::Service, contract::Path,
                                                              contract::Interface, contract::SetMyProperty);
        message.setArguments({contract::UserTilePath, QVariant::fromValue(QDBusVariant(path))});
        return QDBusConnection::sessionBus().call(message, QDBus::Block, contract::CallTimeoutMs);
    }

    QString saved(const QString& file) const
    {
        return m_home.filePath(u"data/tilecast/xmpp-original-avatar/%1/%2"_s.arg(
            QString::fromLatin1(xmppWorld("ALICE").toUtf8().toHex()), file));
    }

    QByteArray read(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool converts() const { return xmppWorld("VCARD_CONVERSION") == u"1"_s; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!xmppWorld("XMPP").isEmpty(), "run through scripts/xmpp-world");
        QVERIFY(m_home.isValid());
        m_passwordFile = testsupport::writeAlicePasswordFile(m_home.path());
        QVERIFY(!m_passwordFile.isEmpty());
        m_slide = m_home.filePath(u"slide.png"_s);
        QVERIFY(testsupport::pictures::photoLike(80, 60).save(m_slide, "PNG"));
        QVERIFY2(m_watchers.start(), qPrintable(m_watchers.report()));
    }

    void cleanup()
    {
        if (m_bridge && m_bridge->isRunning())
            stopBridge();
    }

    // A camera's picture of about 200 KB as alice's avatar: kept whole before the first slide
    // replaces it, and put back whole by restore (a stanza of over 270 KB, out through TLS).
    void aLargeOwnPhotoIsKeptAndPutBack()
    {
        QByteArray photo;
        for (int quality = 95; quality > 40; quality -= 5) {
            photo = encoded(testsupport::pictures::photoLike(520, 390), "JPEG", quality);
            if (photo.size() <= 240 * 1024)
                break;
        }
        QVERIFY2(photo.size() > 150 * 1024, qPrintable(QString::number(photo.size())));
        const auto published = m_watchers.ask({{u"cmd"_s, u"publish"_s},
                                               {u"data_base64"_s, QString::fromLatin1(photo.toBase64())},
                                               {u"type"_s, u"image/jpeg"_s}},
                                              u"done"_s);
        QVERIFY2(published && published->value(u"id"_s).toString() == sha1(photo), qPrintable(report()));

        QVERIFY2(startBridge(), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(saved(u"avatar.ini"_s)); }, 10000),
                 qPrintable(report()));
        QCOMPARE(sha1(read(saved(u"avatar.data"_s))), sha1(photo));
        const QDBusMessage reply = apply(m_slide);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const QStringList ids = m_watchers.avatarIds(u"bob"_s);
                         return !ids.isEmpty() && !ids.last().isEmpty() && ids.last() != sha1(photo);
                     },
                     5000),
                 qPrintable(report()));
        QVERIFY(stopBridge());

        const auto [code, output] = restore();
        QVERIFY2(code == 0 && output.contains(u"Restored"_s), qPrintable(output));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return m_watchers.avatarIds(u"bob"_s).last() == sha1(photo) &&
                                m_watchers.fetched(u"bob"_s, sha1(photo));
                     },
                     5000),
                 qPrintable(report()));
        const QJsonObject seen = *m_watchers.fetched(u"bob"_s, sha1(photo));
        QCOMPARE(seen.value(u"sha1"_s).toString(), sha1(photo));
        QCOMPARE(seen.value(u"bytes"_s).toInt(), int(photo.size()));
        QCOMPARE(seen.value(u"type"_s).toString(), u"image/jpeg"_s);
    }

    // alice's vCard holds a 255,000-character note: where the bridge writes the vCard itself
    // (no XEP-0398), it reads the whole card and writes it back whole with the new photo.
    void anApplyBesideALargeVcard()
    {
        QString note;
        while (note.size() < 255000)
            note += u"Notes alice keeps in her card, line after line of them. "_s;
        note.truncate(255000);
        QVERIFY2(m_watchers.ask({{u"cmd"_s, u"set_vcard"_s},
                                 {u"fn"_s, u"Alice Liddell"_s},
                                 {u"nickname"_s, u"ali"_s},
                                 {u"note"_s, note}},
                                u"done"_s),
                 qPrintable(report()));
        QVERIFY2(startBridge(), qPrintable(report()));
        const QDBusMessage reply = apply(m_slide);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        const auto vcard = m_watchers.ask({{u"cmd"_s, u"vcard"_s}, {u"as"_s, u"bob"_s}}, u"vcard"_s);
        QVERIFY2(vcard, qPrintable(report()));
        QCOMPARE(vcard->value(u"FN"_s).toString(), u"Alice Liddell"_s);
        if (!converts()) {
            QCOMPARE(vcard->value(u"note_length"_s).toInt(), 255000);
            QCOMPARE(vcard->value(u"photo_sha1"_s).toString(), m_watchers.avatarIds(u"bob"_s).last());
        }
        QVERIFY(stopBridge());
        QCOMPARE(restore().first, 0);
    }

    // Another client of alice's gave her photo the type "image/png", a line break and
    // "had-avatar=false": the copy the bridge keeps holds the picture and its real type,
    // and nothing else.
    void anOddPhotoTypeAddsNothing()
    {
        const QByteArray photo = encoded(testsupport::pictures::photoLike(48, 48), "PNG");
        QVERIFY2(m_watchers.ask({{u"cmd"_s, u"clear_avatar"_s}}, u"done"_s), qPrintable(report()));
        QVERIFY2(m_watchers.ask({{u"cmd"_s, u"set_vcard"_s},
                                 {u"fn"_s, u"Alice Liddell"_s},
                                 {u"nickname"_s, u"ali"_s},
                                 {u"photo_base64"_s, QString::fromLatin1(photo.toBase64())},
                                 {u"photo_type"_s, u"image/png\nhad-avatar=false"_s}},
                                u"done"_s),
                 qPrintable(report()));
        QVERIFY2(startBridge(), qPrintable(report()));
        QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(saved(u"avatar.ini"_s)); }, 10000),
                 qPrintable(report()));
        QCOMPARE(QString::fromUtf8(read(saved(u"avatar.ini"_s))).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{u"[General]"_s, u"had-avatar=\"true\""_s, u"type=\"image/png\""_s}));
        QCOMPARE(sha1(read(saved(u"avatar.data"_s))), sha1(photo));
        QCOMPARE(apply(m_slide).type(), QDBusMessage::ReplyMessage);
        QVERIFY(stopBridge());

        const auto [code, output] = restore();
        QVERIFY2(code == 0 && output.contains(u"Restored"_s), qPrintable(output));
        QVERIFY2(QTest::qWaitFor([&] { return m_watchers.avatarIds(u"bob"_s).last() == sha1(photo); }, 5000),
                 qPrintable(report()));
        const auto vcard = m_watchers.ask({{u"cmd"_s, u"vcard"_s}, {u"as"_s, u"bob"_s}}, u"vcard"_s);
        QVERIFY2(vcard, qPrintable(report()));
        QCOMPARE(vcard->value(u"photo_sha1"_s).toString(), sha1(photo));
    }

    // Another client of the account answers in the server's name with the ids an earlier
    // version used (tilecast-1, -2 ...), and asks things too: nothing of it is taken for a
    // reply, and the slide still becomes the avatar.
    void repliesFromAnotherClientChangeNothing()
    {
        const std::optional<QString> bound = startBridge();
        QVERIFY2(bound, qPrintable(report()));
        QVERIFY2(m_watchers.ask({{u"cmd"_s, u"spray"_s}, {u"to"_s, *bound}, {u"count"_s, 50}}, u"done"_s),
                 qPrintable(report()));
        const qsizetype before = m_watchers.avatarIds(u"bob"_s).size();
        const QDBusMessage reply = apply(m_slide);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QVERIFY2(QTest::qWaitFor([&] { return m_watchers.avatarIds(u"bob"_s).size() > before; }, 5000),
                 qPrintable(report()));
        QVERIFY(stopBridge());
        QCOMPARE(restore().first, 0);
    }
};

QTEST_GUILESS_MAIN(TestXmppOtherClients)
#include "test_xmpp_other_clients.moc"
