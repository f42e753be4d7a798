// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QImage>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PictureFile.h"
#include "support/OrdinaryUser.h"
#include "support/Pictures.h"

namespace {

const QByteArray TinyGif = testsupport::pictures::tinyGif();

QByteArray encoded(const char* format)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

using testsupport::pictures::pngHeaderOnly;

// A check that blocks (say on a FIFO) would hang the test; this ends it with the reason.
extern "C" void blockedTooLong(int)
{
    static const char message[] = "the check blocked: it opened something that is not a regular file\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(1);
}

} // namespace

// The look at a would-be display picture, before any messenger sees it: the
// content decides the format, only a readable regular file with a readable
// header passes, and nothing it looks at can make it block.
class TestPictureFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    bool write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    // The checks below run under a watchdog: a blocking open ends the test.
    template <class Check>
    static auto guarded(Check check)
    {
        ::signal(SIGALRM, blockedTooLong);
        ::alarm(30);
        auto result = check();
        ::alarm(0);
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // An ordinary user may pass through, so that only a file's own rights stop it.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadOther | QFile::ExeOther));
        const QByteArray png = encoded("png");
        const QByteArray jpeg = encoded("jpeg");
        const QByteArray bmp = encoded("bmp");
        QVERIFY(!png.isEmpty() && !jpeg.isEmpty() && !bmp.isEmpty());

        QVERIFY(write(QStringLiteral("tiny.gif"), TinyGif));
        QVERIFY(write(QStringLiteral("photo.jpg"), jpeg));
        QVERIFY(write(QStringLiteral("drawing.bmp"), bmp));
        QVERIFY(write(QStringLiteral("drawing.png"), png));
        // The name says one thing, the content another.
        QVERIFY(write(QStringLiteral("png-inside.gif"), png));
        QVERIFY(write(QStringLiteral("gif-inside.jpg"), TinyGif));
        QVERIFY(write(QStringLiteral("jpeg-inside.bmp"), jpeg));
        QVERIFY(write(QStringLiteral("bmp-without-extension"), bmp));
        QVERIFY(write(QStringLiteral("notes.gif"), "These are not the pixels you are looking for.\n"));
        QVERIFY(write(QStringLiteral("pixmap.bmp"), encoded("ppm")));
        QVERIFY(write(QStringLiteral("empty.jpg"), {}));
        // Cut off inside the header: the kind shows, the size does not.
        QVERIFY(write(QStringLiteral("signature-only.png"), png.left(8)));
        QVERIFY(write(QStringLiteral("cut.png"), png.left(20)));
        QVERIFY(write(QStringLiteral("cut.gif"), TinyGif.left(8)));
        QVERIFY(write(QStringLiteral("cut.jpg"), jpeg.left(20)));
        QVERIFY(write(QStringLiteral("cut.bmp"), bmp.left(14)));
        // A header that promises 8000 x 6250 and no pixels: only the header is read.
        QVERIFY(write(QStringLiteral("huge-header.png"), pngHeaderOnly(8000, 6250)));

        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.gif")));
        QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.gif"))).constData(), 0644), 0);
        QVERIFY(QFile::link(path(QStringLiteral("photo.jpg")), path(QStringLiteral("link.jpg"))));
        QVERIFY(QFile::link(QStringLiteral("photo.jpg"), path(QStringLiteral("relative-link.gif"))));
        QVERIFY(QFile::link(path(QStringLiteral("gone.jpg")), path(QStringLiteral("dangling.jpg"))));
        QVERIFY(QFile::link(path(QStringLiteral("pipe.gif")), path(QStringLiteral("link-to-pipe.jpg"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path(QStringLiteral("zero.jpg"))));
        QVERIFY(write(QStringLiteral("locked.jpg"), jpeg));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("locked.jpg")), {}));
    }

    void checkPictureFile_data()
    {
        QTest::addColumn<QString>("name"); // in the test folder; "<...>" for the special paths below
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");  // valid: accepted with this size
        QTest::addColumn<QString>("why"); // part of the refusal's reason

        const QSize refused;
        const QSize drawn(40, 30);
        auto row = [](const char* tag, const char* name, const char* format, QSize size, const char* why) {
            QTest::newRow(tag) << QString::fromUtf8(name) << QByteArray(format) << size
                               << QString::fromUtf8(why);
        };
        row("GIF", "tiny.gif", "gif", QSize(1, 1), "");
        row("JPEG", "photo.jpg", "jpeg", drawn, "");
        row("BMP", "drawing.bmp", "bmp", drawn, "");
        row("PNG", "drawing.png", "png", drawn, "");
        row("PNG named .gif", "png-inside.gif", "png", drawn, "");
        row("GIF named .jpg", "gif-inside.jpg", "gif", QSize(1, 1), "");
        row("JPEG named .bmp", "jpeg-inside.bmp", "jpeg", drawn, "");
        row("BMP without an extension", "bmp-without-extension", "bmp", drawn, "");
        row("header only, never decoded", "huge-header.png", "png", QSize(8000, 6250), "");
        row("text named .gif", "notes.gif", "", refused, "content is not a GIF, JPEG, BMP or PNG");
        row("PPM named .bmp", "pixmap.bmp", "ppm", refused, "only GIF, JPEG, BMP and PNG");
        row("empty file", "empty.jpg", "", refused, "the file is empty");
        row("PNG signature only", "signature-only.png", "png", refused, "PNG image header cannot be read");
        row("PNG cut in its header", "cut.png", "png", refused, "PNG image header cannot be read");
        row("GIF cut in its header", "cut.gif", "gif", refused, "GIF image header cannot be read");
        row("JPEG cut in its header", "cut.jpg", "jpeg", refused, "JPEG image header cannot be read");
        row("BMP cut in its header", "cut.bmp", "bmp", refused, "BMP image header cannot be read");
        row("symlink to a picture", "link.jpg", "jpeg", drawn, "");
        row("relative symlink, other extension", "relative-link.gif", "jpeg", drawn, "");
        row("dangling symlink", "dangling.jpg", "", refused, "no such file");
        row("missing", "gone.jpg", "", refused, "no such file");
        row("directory", "folder.gif", "", refused, "it is a directory");
        row("FIFO", "pipe.gif", "", refused, "it is a FIFO");
        row("symlink to a FIFO", "link-to-pipe.jpg", "", refused, "it is a FIFO");
        row("symlink to a device", "zero.jpg", "", refused, "it is a device");
        row("below a file", "photo.jpg/x.jpg", "", refused, "not a directory");
        row("unreadable to its user", "locked.jpg", "", refused, "permission denied");
        row("empty path", "<empty>", "", refused, "the path is empty");
        row("NUL inside the path", "<nul>", "", refused, "NUL character");
    }

    void checkPictureFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(QString, why);

        QString file = path(name);
        if (name == QStringLiteral("<empty>"))
            file.clear();
        else if (name == QStringLiteral("<nul>"))
            file = path(QStringLiteral("photo.jpg")) + QChar(u'\0') + QStringLiteral(".txt");
        std::optional<AsOrdinaryUser> user;
        if (name == QStringLiteral("locked.jpg")) {
            user.emplace();
            QVERIFY2(user->ok(), "cannot act as an ordinary user (root reads any file)");
        }

        const PictureCheck check = guarded([&] { return ::checkPictureFile(file); });
        user.reset();
        QCOMPARE(check.ok, size.isValid());
        QCOMPARE(check.format, format);
        if (check.ok) {
            QCOMPARE(check.size, size);
            QVERIFY2(check.reason.isEmpty(), qPrintable(check.reason));
        } else {
            QVERIFY2(check.reason.contains(why), qPrintable(check.reason));
        }
    }

    // The file comes back open for reading only and positioned at its start;
    // anything else is never opened at all.
    void openRegularFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why"); // empty: opened
        QTest::newRow("regular file") << "photo.jpg"
                                      << "";
        QTest::newRow("symlink to one") << "link.jpg"
                                        << "";
        QTest::newRow("empty file") << "empty.jpg"
                                    << "";
        QTest::newRow("directory") << "folder.gif"
                                   << "it is a directory";
        QTest::newRow("FIFO") << "pipe.gif"
                              << "it is a FIFO";
        QTest::newRow("device") << "zero.jpg"
                                << "it is a device";
        QTest::newRow("missing") << "gone.jpg"
                                 << "no such file";
    }

    void openRegularFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        QString reason;
        const std::unique_ptr<QFile> file = guarded([&] { return ::openRegularFile(path(name), &reason); });
        if (!why.isEmpty()) {
            QVERIFY(!file);
            QVERIFY2(reason.contains(why), qPrintable(reason));
            return;
        }
        QVERIFY2(file, qPrintable(reason));
        QCOMPARE(file->openMode(), QIODevice::ReadOnly);
        QCOMPARE(file->pos(), 0);
        QFile plain(path(name));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(file->readAll(), plain.readAll());
    }

    void isPictureFormat_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("picture");
        for (const char* format : {"gif", "jpeg", "jpg", "bmp", "png"})
            QTest::newRow(format) << QByteArray(format) << true;
        for (const char* format : {"ppm", "svg", "webp", "tiff", "ico", ""})
            QTest::newRow(*format ? format : "none") << QByteArray(format) << false;
    }

    void isPictureFormat()
    {
        QFETCH(QByteArray, format);
        QFETCH(bool, picture);
        QCOMPARE(::isPictureFormat(format), picture);
    }
};

QTEST_GUILESS_MAIN(TestPictureFile)
#include "test_picture_file.moc"
