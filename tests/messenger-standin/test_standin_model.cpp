// SPDX-License-Identifier: GPL-3.0-or-later
// The account and display-picture rules of tilecast-messenger, without a bus.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "support/OrdinaryUser.h"
#include "support/Pictures.h"
#include "tilecast-messenger/MessengerModel.h"

using namespace Qt::StringLiterals;

namespace {

using testsupport::pictures::pngHeaderOnly;

QImage sampleImage(int width = 40, int height = 30)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 60, 40));
    return image;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestStandinModel : public QObject
{
    Q_OBJECT

    // Creates the thing `kind` names inside the temporary folder as `name`
    // and returns the path to hand to the model.
    QString makeFixture(const QString& kind, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        const auto image = [&](const char* format) {
            if (!sampleImage().save(path, format))
                qFatal("cannot write a %s fixture", format);
            return path;
        };
        if (kind == u"png")
            return image("png");
        if (kind == u"jpeg")
            return image("jpeg");
        if (kind == u"bmp")
            return image("bmp");
        if (kind == u"ppm")
            return image("ppm");
        if (kind == u"gif")
            return writeBytes(path, testsupport::pictures::tinyGif()) ? path : QString();
        if (kind == u"text")
            return writeBytes(path, "just some words, no picture\n") ? path : QString();
        if (kind == u"empty")
            return writeBytes(path, {}) ? path : QString();
        if (kind == u"png-signature-only")
            return writeBytes(path, QByteArray::fromHex("89504e470d0a1a0a")) ? path : QString();
        if (kind == u"huge-png-header")
            return writeBytes(path, pngHeaderOnly(8000, 6250)) ? path : QString();
        if (kind == u"directory")
            return QDir(m_dir.path()).mkpath(name) ? path : QString();
        if (kind == u"missing")
            return path;
        if (kind == u"empty-path")
            return QString();
        if (kind == u"fifo")
            return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
        if (kind == u"device")
            return QStringLiteral("/dev/null");
        if (kind == u"nul-in-path")
            return makeFixture(QStringLiteral("png"), name) + QChar(u'\0') + QStringLiteral("tail");
        if (kind.startsWith(u"symlink:")) {
            const QString target = makeFixture(kind.mid(8), name + QStringLiteral(".target"));
            return QFile::link(target, path) ? path : QString();
        }
        if (kind == u"dangling-symlink")
            return QFile::link(m_dir.filePath(QStringLiteral("nowhere.png")), path) ? path : QString();
        if (kind == u"unreadable") {
            image("png");
            QFile::setPermissions(path, QFileDevice::Permissions());
            return path;
        }
        qFatal("unknown fixture kind");
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // An ordinary user may pass through, so that only a file's own rights stop it.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadOther | QFile::ExeOther));
    }

    void checkPicture_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("format"); // when accepted
        QTest::addColumn<QString>("reason");    // part of the reason, when refused

        QTest::newRow("png") << "png"
                             << "a.png" << true << QByteArray("png") << QString();
        QTest::newRow("jpeg") << "jpeg"
                              << "a.jpg" << true << QByteArray("jpeg") << QString();
        QTest::newRow("bmp") << "bmp"
                             << "a.bmp" << true << QByteArray("bmp") << QString();
        QTest::newRow("gif") << "gif"
                             << "a.gif" << true << QByteArray("gif") << QString();
        // Judged by content, not by name.
        QTest::newRow("png named .txt") << "png"
                                        << "b.txt" << true << QByteArray("png") << QString();
        QTest::newRow("jpeg named .png") << "jpeg"
                                         << "b.png" << true << QByteArray("jpeg") << QString();
        QTest::newRow("gif without extension") << "gif"
                                               << "b" << true << QByteArray("gif") << QString();
        QTest::newRow("text named .png") << "text"
                                         << "c.png" << false << QByteArray() << "not a GIF, JPEG, BMP or PNG";
        QTest::newRow("empty named .png") << "empty"
                                          << "d.png" << false << QByteArray() << "empty";
        QTest::newRow("png signature only") << "png-signature-only"
                                            << "e.png" << false << QByteArray() << "header";
        QTest::newRow("another image format") << "ppm"
                                              << "f.png" << false << QByteArray() << "PPM";
        // Only the header is read: a full decode of this would fail.
        QTest::newRow("50-megapixel header") << "huge-png-header"
                                             << "huge.png" << true << QByteArray("png") << QString();

        QTest::newRow("empty path") << "empty-path"
                                    << "" << false << QByteArray() << "empty";
        QTest::newRow("missing") << "missing"
                                 << "missing.png" << false << QByteArray() << "no such file";
        QTest::newRow("directory named .png") << "directory"
                                              << "dir.png" << false << QByteArray() << "directory";
        QTest::newRow("fifo") << "fifo"
                              << "fifo.png" << false << QByteArray() << "FIFO";
        QTest::newRow("device") << "device"
                                << "" << false << QByteArray() << "device";
        QTest::newRow("unreadable") << "unreadable"
                                    << "locked.png" << false << QByteArray() << "permission denied";
        QTest::newRow("NUL in path") << "nul-in-path"
                                     << "g.png" << false << QByteArray() << "NUL";

        QTest::newRow("symlink to png") << "symlink:png"
                                        << "link.png" << true << QByteArray("png") << QString();
        QTest::newRow("symlink to directory") << "symlink:directory"
                                              << "link-dir" << false << QByteArray() << "directory";
        QTest::newRow("dangling symlink") << "dangling-symlink"
                                          << "dangling.png" << false << QByteArray() << "no such file";

        QTest::newRow("space") << "png"
                               << "with space.png" << true << QByteArray("png") << QString();
        QTest::newRow("quotes") << "png"
                                << "q\"uo'te.png" << true << QByteArray("png") << QString();
        QTest::newRow("leading dash") << "png"
                                      << "-dash.png" << true << QByteArray("png") << QString();
        QTest::newRow("newline") << "png"
                                 << "new\nline.png" << true << QByteArray("png") << QString();
        QTest::newRow("non-ASCII") << "png" << u"ünïcødé 画像.png"_s << true << QByteArray("png")
                                   << QString();
    }

    void checkPicture()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, format);
        QFETCH(QString, reason);
        QVERIFY(m_dir.isValid());

        const QString path = makeFixture(kind, name);
        QVERIFY(!path.isEmpty() || kind == u"empty-path");
        std::optional<AsOrdinaryUser> user; // root reads any file
        if (kind == u"unreadable") {
            user.emplace();
            QVERIFY2(user->ok(), "cannot act as an ordinary user");
        }

        const PictureCheck check = MessengerModel::checkPicture(path);
        user.reset();
        QVERIFY2(check.ok == accepted, qPrintable(check.reason));
        if (accepted) {
            QCOMPARE(check.format, format);
            QVERIFY(check.size.isValid() && !check.size.isEmpty());
            if (kind == u"huge-png-header")
                QCOMPARE(check.size, QSize(8000, 6250));
        } else {
            QVERIFY2(check.reason.contains(reason), qPrintable(check.reason));
        }
    }

    void acceptedPictureNotifiesEveryTime()
    {
        const QString good = makeFixture(QStringLiteral("png"), QStringLiteral("notify.png"));
        const QString bad = makeFixture(QStringLiteral("text"), QStringLiteral("notify.txt"));
        MessengerModel model(QStringLiteral("alice"), true);
        QSignalSpy changed(&model, &MessengerModel::displayPictureChanged);
        QCOMPARE(model.displayPicture(), QString());

        QVERIFY(model.setDisplayPicture(good).ok);
        // Same path again: the file may hold a new picture, so watchers must hear of it.
        QVERIFY(model.setDisplayPicture(good).ok);
        QVERIFY(!model.setDisplayPicture(bad).ok);

        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toString(), good);
        QCOMPARE(model.displayPicture(), good);
    }

    void signInAndOut()
    {
        MessengerModel model(QStringLiteral("alice"), false);
        QSignalSpy signedIn(&model, &MessengerModel::signedInChanged);
        QSignalSpy account(&model, &MessengerModel::accountChanged);

        model.signOut(); // already out: nothing to tell
        model.signIn();
        model.signIn();
        QCOMPARE(signedIn.count(), 1);
        QCOMPARE(model.account(), u"alice"_s);

        // The empty name is a real account name, signed in like any other.
        model.signInAs(QString());
        QVERIFY(model.isSignedIn());
        QCOMPARE(model.account(), QString());
        QCOMPARE(account.count(), 1);
        QCOMPARE(signedIn.count(), 1);

        model.signOut();
        QVERIFY(!model.isSignedIn());
        QCOMPARE(signedIn.count(), 2);
        QCOMPARE(signedIn.at(1).at(0).toBool(), false);
    }

    void previewIsScaledDown()
    {
        const QString wide = m_dir.filePath(QStringLiteral("wide.png"));
        QVERIFY(sampleImage(400, 100).save(wide, "png"));
        QCOMPARE(MessengerModel::loadPreview(wide, 96).size(), QSize(96, 24));

        const QString small = makeFixture(QStringLiteral("png"), QStringLiteral("small.png"));
        QCOMPARE(MessengerModel::loadPreview(small, 96).size(), QSize(40, 30)); // never enlarged

        const QString text = makeFixture(QStringLiteral("text"), QStringLiteral("preview.txt"));
        QVERIFY(MessengerModel::loadPreview(text, 96).isNull());
    }
};

QTEST_GUILESS_MAIN(TestStandinModel)
#include "test_standin_model.moc"
