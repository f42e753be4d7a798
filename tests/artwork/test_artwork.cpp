// SPDX-License-Identifier: GPL-3.0-or-later
// The windows are laid out in fixed pixels over these pictures, so a picture of the wrong size, a missing
// or ignored file for a screen scale, or a sample picture Qt cannot read shows up as a broken window;
// these tests catch that. The suite also runs with QT_SCALE_FACTOR=2 to take the high-DPI paths.

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "resources/Artwork.h"

namespace {

struct Picture
{
    const char* name;
    QString (*path)();
    QPixmap (*pixmap)(qreal);
    QSize size;
};

const Picture pictures[] = {
    {"banner", artwork::bannerPath, artwork::banner, {562, 88}},
    {"status panel", artwork::statusPanelPath, artwork::statusPanel, {543, 143}},
    {"editing panel", artwork::editingPanelPath, artwork::editingPanel, {543, 220}},
    {"bottom strip", artwork::bottomStripPath, artwork::bottomStrip, {256, 31}},
    {"splash", artwork::splashPath, artwork::splash, {324, 139}},
    {"update notice", artwork::updateNoticePath, artwork::updateNotice, {324, 139}},
    {"about strip", artwork::aboutStripPath, artwork::aboutStrip, {64, 372}},
    {"about panel", artwork::aboutPanelPath, artwork::aboutPanel, {278, 294}},
    {"confirm banner", artwork::confirmBannerPath, artwork::confirmBanner, {424, 91}},
    {"icon 16", artwork::programIcon16Path, nullptr, {16, 16}},
    {"icon 32", artwork::programIcon32Path, nullptr, {32, 32}},
    {"about icon 16", artwork::aboutIcon16Path, nullptr, {16, 16}},
    {"about icon 32", artwork::aboutIcon32Path, nullptr, {32, 32}},
    {"open folder", artwork::folderOpenPath, nullptr, {16, 16}},
    {"closed folder", artwork::folderClosedPath, nullptr, {16, 16}},
};

QStringList samplePictures()
{
    return QDir(QStringLiteral(TILECAST_SAMPLES_DIR))
        .entryList({QStringLiteral("*.gif"), QStringLiteral("*.jpg"), QStringLiteral("*.bmp")}, QDir::Files,
                   QDir::Name);
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filesHaveExactSizes_data();
    void filesHaveExactSizes();
    void pixmapsFollowTheRatio_data();
    void pixmapsFollowTheRatio();
    void iconsPickTheMatchingFile_data();
    void iconsPickTheMatchingFile();
    void samplesAreReadable_data();
    void samplesAreReadable();
    void samplesCoverEachFormat();
};

void TestArtwork::filesHaveExactSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Picture& picture : pictures)
        QTest::newRow(picture.name) << picture.path() << picture.size;
}

void TestArtwork::filesHaveExactSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    const QImage normal(path);
    QVERIFY2(!normal.isNull(), qPrintable(path));
    QCOMPARE(normal.size(), size);
    // Drawn at exactly the scale: a fractional size is rounded up, never stretched.
    for (const qreal scale : artwork::renderedScales) {
        const QImage scaled(artwork::scaledPath(path, scale));
        QVERIFY2(!scaled.isNull(), qPrintable(artwork::scaledPath(path, scale)));
        QCOMPARE(scaled.size(),
                 QSize(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale))));
    }

    // A render that silently drew nothing would still have the right size.
    bool anyOpaque = false;
    for (int y = 0; y < normal.height() && !anyOpaque; ++y)
        for (int x = 0; x < normal.width() && !anyOpaque; ++x)
            anyOpaque = qAlpha(normal.pixel(x, y)) == 255;
    QVERIFY(anyOpaque);
}

void TestArtwork::pixmapsFollowTheRatio_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<qreal>("expectedRatio");
    const qreal screen = qApp->devicePixelRatio();
    for (int i = 0; i < int(std::size(pictures)); ++i) {
        if (!pictures[i].pixmap)
            continue;
        const QByteArray name(pictures[i].name);
        for (const qreal scale : artwork::renderedScales)
            QTest::newRow(name + " at " + QByteArray::number(scale) + "x") << i << scale << scale;
        // Between two rendered scales Qt scales the sharper file down; beyond them, the largest up.
        QTest::newRow(name + " at 1.1x") << i << 1.1 << 1.25;
        QTest::newRow(name + " at 3x") << i << 3.0 << 2.0;
        QTest::newRow(name + " on the screen") << i << screen << artwork::renderedScaleFor(screen);
    }
}

void TestArtwork::pixmapsFollowTheRatio()
{
    QFETCH(int, index);
    QFETCH(qreal, ratio);
    QFETCH(qreal, expectedRatio);
    const Picture& picture = pictures[index];

    const QPixmap pixmap = picture.pixmap(ratio);
    QCOMPARE(pixmap.devicePixelRatio(), expectedRatio);
    // Laid out at the logical size whichever file it came from.
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), picture.size);
}

void TestArtwork::iconsPickTheMatchingFile_data()
{
    QTest::addColumn<QIcon>("icon");
    QTest::addColumn<int>("logicalSize");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("expectedFile");

    const QIcon program = artwork::programIcon();
    const QIcon about = artwork::aboutIcon();
    QTest::newRow("program 16") << program << 16 << 1.0 << QStringLiteral("icon-16.png");
    QTest::newRow("program 32") << program << 32 << 1.0 << QStringLiteral("icon-32.png");
    // The 16 px design drawn twice as large, not the busier 32 px one squeezed into a tray slot.
    QTest::newRow("program 16 at 2x") << program << 16 << 2.0 << QStringLiteral("icon-16@2x.png");
    QTest::newRow("program 32 at 2x") << program << 32 << 2.0 << QStringLiteral("icon-32@2x.png");
    QTest::newRow("about 16") << about << 16 << 1.0 << QStringLiteral("about-icon-16.png");
    QTest::newRow("about 16 at 2x") << about << 16 << 2.0 << QStringLiteral("about-icon-16@2x.png");
    QTest::newRow("about 32 at 2x") << about << 32 << 2.0 << QStringLiteral("about-icon-32@2x.png");
    // The folder list's icons, drawn for each scale rather than scaled from another.
    const QIcon folder = artwork::folderIcon(false);
    for (const qreal scale : artwork::renderedScales)
        QTest::addRow("closed folder at %gx", scale)
            << folder << 16 << scale << artwork::scaledPath(QStringLiteral("folder-closed.png"), scale);
    QTest::newRow("open folder at 1.5x")
        << artwork::folderIcon(true) << 16 << 1.5 << QStringLiteral("folder-open@1.5x.png");
}

void TestArtwork::iconsPickTheMatchingFile()
{
    QFETCH(QIcon, icon);
    QFETCH(int, logicalSize);
    QFETCH(qreal, ratio);
    QFETCH(QString, expectedFile);

    const QImage got = icon.pixmap(QSize(logicalSize, logicalSize), ratio).toImage();
    QImage expected(QStringLiteral(":/artwork/") + expectedFile);
    QVERIFY(!expected.isNull());
    QCOMPARE(got.size(), expected.size());
    // Same pixels means the file was used as it is, not scaled from another size.
    expected.setDevicePixelRatio(got.devicePixelRatio());
    QCOMPARE(got.convertToFormat(QImage::Format_ARGB32), expected.convertToFormat(QImage::Format_ARGB32));
}

void TestArtwork::samplesAreReadable_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(QStringLiteral(TILECAST_SAMPLES_DIR));
    const QStringList files = samplePictures();
    for (const QString& name : files)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
    if (files.isEmpty()) // fail below with a clear message rather than leave the test without rows
        QTest::newRow("no samples found") << dir.filePath(QStringLiteral("missing"));
}

void TestArtwork::samplesAreReadable()
{
    QFETCH(QString, file);
    QImageReader reader(file);
    // Judge by content, not by name: a mislabelled file fails with readers that trust the suffix.
    reader.setDecideFormatFromContent(true);
    const QByteArray suffix = QFileInfo(file).suffix().toLatin1();
    QCOMPARE(reader.format(), suffix == "jpg" ? QByteArray("jpeg") : suffix);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(96, 96));
}

void TestArtwork::samplesCoverEachFormat()
{
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    const QStringList files = samplePictures();
    for (const char* suffix : {"gif", "jpg", "bmp"}) {
        QVERIFY2(formats.contains(suffix), suffix);
        const QString ending = QLatin1Char('.') + QLatin1String(suffix);
        QCOMPARE(
            std::count_if(files.cbegin(), files.cend(), [&](const QString& f) { return f.endsWith(ending); }),
            4);
    }
}

QTEST_MAIN(TestArtwork)
#include "test_artwork.moc"
