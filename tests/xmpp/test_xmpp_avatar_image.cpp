// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include "support/Pictures.h"
#include "tilecast-xmpp/AvatarImage.h"

using testsupport::pictures::photoLike;

using namespace Qt::StringLiterals;

// The conversion every picture goes through before it is published: what comes out for
// the sizes and kinds of file a slide show holds, and what is refused.
class TestXmppAvatarImage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static QImage flat(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        QPainter painter(&image);
        painter.fillRect(0, 0, width / 2, height / 2, Qt::yellow);
        return image;
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(photoLike(4000, 3000).save(path(u"camera.jpg"_s), "JPEG", 92));
        write(u"pixel.gif"_s, testsupport::pictures::tinyGif());
        QVERIFY(flat(96, 96).save(path(u"exact.png"_s), "PNG"));
        QVERIFY(flat(50, 20).save(path(u"small.bmp"_s), "BMP"));
        QVERIFY(flat(300, 1000).save(path(u"tall.png"_s), "PNG"));
        QVERIFY(flat(1000, 1).save(path(u"line.png"_s), "PNG"));
        QVERIFY(photoLike(96, 96).save(path(u"noise.png"_s), "PNG"));
        QVERIFY(photoLike(200, 200, true).save(path(u"translucent.png"_s), "PNG"));
        // Named like pictures, but not pictures, or not whole ones.
        write(u"notes.jpg"_s, "These are my holiday notes, not a picture.\n");
        write(u"empty.png"_s, QByteArray());
        QFile jpeg(path(u"camera.jpg"_s));
        QVERIFY(jpeg.open(QIODevice::ReadOnly));
        write(u"header-only.jpg"_s, jpeg.read(200));
        jpeg.seek(0);
        write(u"half.jpg"_s, jpeg.read(jpeg.size() / 2));
        QVERIFY(flat(40, 40).save(path(u"picture.ppm"_s), "PPM"));
        QVERIFY(QDir().mkpath(path(u"folder.png"_s)));
        // Vast pictures in small files: refused by their header, before any decoding.
        write(u"vast.png"_s, testsupport::pictures::pngHeaderOnly(20000, 20000));
        write(u"just-too-many.png"_s, testsupport::pictures::pngHeaderOnly(8000, 5001));
    }

    void convertsToASmallPng_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("expected");

        QTest::newRow("4000x3000 JPEG, scaled keeping 4:3") << u"camera.jpg"_s << QSize(96, 72);
        QTest::newRow("1x1 GIF, never enlarged") << u"pixel.gif"_s << QSize(1, 1);
        QTest::newRow("96x96 PNG, as it is") << u"exact.png"_s << QSize(96, 96);
        QTest::newRow("50x20 BMP, never enlarged") << u"small.bmp"_s << QSize(50, 20);
        QTest::newRow("300x1000 PNG, tall") << u"tall.png"_s << QSize(28, 96);
        // libjpeg fills what is missing with grey; the picture is still the user's choice.
        QTest::newRow("4000x3000 JPEG cut in half") << u"half.jpg"_s << QSize(96, 72);
        QTest::newRow("1000x1 PNG, at least a pixel high") << u"line.png"_s << QSize(96, 1);
        // Noise does not fit 8 KiB at 96 px even with a palette: it gets smaller instead.
        QTest::newRow("96x96 noise, shrunk to fit") << u"noise.png"_s << QSize();
        QTest::newRow("200x200 with alpha") << u"translucent.png"_s << QSize();
    }

    void convertsToASmallPng()
    {
        QFETCH(QString, name);
        QFETCH(QSize, expected);

        const AvatarImage avatar = makeAvatarImage(path(name));
        QVERIFY2(avatar.ok, qPrintable(avatar.error));
        QVERIFY2(avatar.png.size() <= AvatarImage::TargetBytes,
                 qPrintable(QString::number(avatar.png.size())));
        QVERIFY(avatar.png.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage decoded = QImage::fromData(avatar.png, "PNG");
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded.size(), avatar.size);
        QVERIFY(avatar.size.width() <= AvatarImage::MaxEdge && avatar.size.height() <= AvatarImage::MaxEdge);
        if (expected.isValid())
            QCOMPARE(avatar.size, expected);
        QCOMPARE(avatar.sha1Hex, QCryptographicHash::hash(avatar.png, QCryptographicHash::Sha1).toHex());
        qInfo("%s -> %dx%d, %lld bytes", qPrintable(name), avatar.size.width(), avatar.size.height(),
              qlonglong(avatar.png.size()));
    }

    void keepsWhatTheSizeCutsLast()
    {
        // Shrinking is the last resort: a noisy 96 px picture still comes out well above
        // half size, and transparency survives the palette.
        const AvatarImage noise = makeAvatarImage(path(u"noise.png"_s));
        QVERIFY(noise.ok);
        QVERIFY2(noise.size.width() >= 48, qPrintable(QString::number(noise.size.width())));
        QCOMPARE(noise.size.width(), noise.size.height());
        const AvatarImage translucent = makeAvatarImage(path(u"translucent.png"_s));
        QVERIFY(translucent.ok);
        QVERIFY(QImage::fromData(translucent.png).hasAlphaChannel());
    }

    void refusesWhatIsNoPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");

        QTest::newRow("missing") << u"gone.jpg"_s << u"no such file"_s;
        QTest::newRow("text named .jpg") << u"notes.jpg"_s << u"not a GIF, JPEG, BMP or PNG"_s;
        QTest::newRow("empty") << u"empty.png"_s << u"empty"_s;
        QTest::newRow("a JPEG cut after its header") << u"header-only.jpg"_s << u"cannot be read"_s;
        QTest::newRow("another format") << u"picture.ppm"_s << u"only GIF, JPEG, BMP and PNG"_s;
        QTest::newRow("a folder") << u"folder.png"_s << u"directory"_s;
        QTest::newRow("20000x20000 PNG")
            << u"vast.png"_s << u"20000 x 20000 pixels, more than the 40 million"_s;
        QTest::newRow("one row over 40 million pixels")
            << u"just-too-many.png"_s << u"more than the 40 million accepted"_s;
    }

    void refusesWhatIsNoPicture()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);

        const AvatarImage avatar = makeAvatarImage(path(name));
        QVERIFY(!avatar.ok);
        QVERIFY(avatar.png.isEmpty());
        QVERIFY2(avatar.error.contains(reason), qPrintable(avatar.error));
    }

    // What another client of the account published as its avatar, before it is kept.
    void checksReceivedPictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("result"); // the MIME type, or why it was refused

        QTest::newRow("JPEG") << u"camera.jpg"_s << u"image/jpeg"_s;
        QTest::newRow("PNG") << u"exact.png"_s << u"image/png"_s;
        QTest::newRow("GIF") << u"pixel.gif"_s << u"image/gif"_s;
        QTest::newRow("BMP") << u"small.bmp"_s << u"image/bmp"_s;
        // What some clients publish; decoded by Qt's image-formats plugins.
        QTest::newRow("WebP") << u"other.webp"_s << u"image/webp"_s;
        QTest::newRow("text") << u"notes.jpg"_s << u"not a picture"_s;
        QTest::newRow("nothing") << u"empty.png"_s << u"not a picture"_s;
        QTest::newRow("a header and no pixels") << u"just-too-many.png"_s << u"more than the 40 million"_s;
        QTest::newRow("a small header-only PNG")
            << u"small-header.png"_s << u"the png picture cannot be decoded"_s;
    }

    void checksReceivedPictures()
    {
        QFETCH(QString, name);
        QFETCH(QString, result);

        write(u"small-header.png"_s, testsupport::pictures::pngHeaderOnly(40, 30));
        QVERIFY(flat(40, 40).save(path(u"other.webp"_s), "WEBP"));
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Outcome<QString> checked = checkReceivedPicture(file.readAll());
        if (result.startsWith(u"image/"_s)) {
            QVERIFY2(checked, qPrintable(checked.failure()));
            QCOMPARE(checked.value(), result);
        } else {
            QVERIFY(!checked);
            QVERIFY2(checked.failure().contains(result), qPrintable(checked.failure()));
        }
    }
};

QTEST_GUILESS_MAIN(TestXmppAvatarImage)
#include "test_xmpp_avatar_image.moc"
