// SPDX-License-Identifier: GPL-3.0-or-later
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "resources/Artwork.h"
#include "support/TilecastUnderTest.h"

// Tilecast's look is its own, on the real X display: each window is the same picture under the
// desktop themes, styles and font settings people use; its text stays readable; at every screen
// scale the borders are whole, no panel is cut and the artwork is drawn for the scale; and each
// control that can take the keyboard focus shows it. The windows come from look-gallery, which
// makes and styles them exactly as the program does; the main window is also checked on the
// real program.

namespace {

struct Theme
{
    const char* name;
    QList<QPair<QString, QString>> env;
    // What shows that the theme was loaded at all: the style Qt picked, or a dark window colour.
    QString style;
    bool darkPalette = false;
};

QString scratchConfig(); // XDG_CONFIG_HOME with a qt6ct set-up

QList<Theme> themes()
{
    return {
        {"gtk3 Adwaita dark",
         {{QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("gtk3")},
          {QStringLiteral("GTK_THEME"), QStringLiteral("Adwaita:dark")}},
         {},
         true},
        {"Adwaita-Dark style",
         {{QStringLiteral("QT_STYLE_OVERRIDE"), QStringLiteral("Adwaita-Dark")}},
         QStringLiteral("adwaita-dark")},
        {"qt6ct dark 14 pt",
         {{QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("qt6ct")},
          {QStringLiteral("XDG_CONFIG_HOME"), scratchConfig()}},
         QStringLiteral("qt6ct-style")},
        {"Fusion style",
         {{QStringLiteral("QT_STYLE_OVERRIDE"), QStringLiteral("Fusion")}},
         QStringLiteral("fusion")},
    };
}

QString scratchConfig()
{
    static QTemporaryDir dir;
    static bool written = false;
    if (!written) {
        QDir(dir.path()).mkpath(QStringLiteral("qt6ct"));
        QFile conf(dir.filePath(QStringLiteral("qt6ct/qt6ct.conf")));
        if (conf.open(QIODevice::WriteOnly)) {
            // A dark scheme, a 14 pt font, and the style sheet qt6ct offers that takes every frame's border.
            conf.write("[Appearance]\n"
                       "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\n"
                       "custom_palette=true\n"
                       "style=Fusion\n"
                       "[Fonts]\n"
                       "general=\"DejaVu Sans,14,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n"
                       "fixed=\"DejaVu Sans Mono,14,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n"
                       "[Interface]\n"
                       "stylesheets=/usr/share/qt6ct/qss/fusion-fixes.qss\n");
        }
        written = true;
    }
    return dir.path();
}

// One line of look-gallery's description of its window.
struct Item
{
    QString kind;
    QString name;
    QString file; // pictures only
    QRect rect;
    QColor colour;       // texts only: the colour its palette gives it
    QRect shown;         // pictures only
    QList<QRect> covers; // pictures only
};

struct Gallery
{
    std::unique_ptr<testsupport::ProcessUnderTest> process;
    QString windowId;
    QString desktopStyle;
    QColor desktopWindow;
    int doubleClickMs = -1;
    QList<Item> items;

    QList<Item> all(const QString& kind) const
    {
        QList<Item> found;
        for (const Item& item : items)
            if (item.kind == kind)
                found << item;
        return found;
    }
};

QRect rectAt(const QStringList& words, int at)
{
    return QRect(words.value(at).toInt(), words.value(at + 1).toInt(), words.value(at + 2).toInt(),
                 words.value(at + 3).toInt());
}

// Starts look-gallery on one window with these environment changes; empty process on failure.
Gallery openGallery(const QString& window, const QList<QPair<QString, QString>>& env)
{
    Gallery g;
    g.process = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_LOOK_GALLERY),
                                                                QStringList{window});
    // The file list then shows pictures, one of them selected.
    g.process->setWorkingDirectory(QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples"));
    for (const char* name : {"QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "GTK_THEME", "QT_SCALE_FACTOR",
                             "QT_FONT_DPI", "XDG_CONFIG_HOME"})
        g.process->unsetEnv(QString::fromLatin1(name));
    for (const auto& [name, value] : env)
        g.process->setEnv(name, value);
    if (!g.process->start() || !g.process->waitForLine(QStringLiteral("end"), 20000)) {
        qWarning("%s", qPrintable(g.process->report()));
        g.process.reset();
        return g;
    }
    const QStringList lines = QString::fromLocal8Bit(g.process->standardOutput()).split(u'\n');
    for (const QString& line : lines) {
        const QStringList w = line.split(u' ');
        if (w.first() == u"ready") {
            g.windowId = w.value(1);
        } else if (w.first() == u"desktop") {
            g.desktopStyle = w.value(1);
            g.desktopWindow = QColor(w.value(2));
        } else if (w.first() == u"double-click") {
            g.doubleClickMs = w.value(1).toInt();
        } else if (w.first() == u"picture") {
            Item item{w.first(), w.value(1), w.value(2), rectAt(w, 3), {}, rectAt(w, 7), {}};
            for (int at = 11; at + 3 < w.size(); at += 4)
                item.covers << rectAt(w, at);
            g.items << item;
        } else if (w.size() >= 6) {
            g.items << Item{w.first(), w.value(1), {}, rectAt(w, 2), QColor(w.value(6)), {}, {}};
        }
    }
    return g;
}

// The window's picture as the X server shows it; also saved for a person to look at.
QImage shoot(const QString& windowId, const QString& name)
{
    static QTemporaryDir scratch;
    const QString file = scratch.filePath(name);
    if (QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), windowId, QStringLiteral("png:") + file}) != 0)
        return {};
    const QString keep = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
    if (!keep.isEmpty()) {
        QFile::remove(keep + u'/' + name);
        QFile::copy(file, keep + u'/' + name);
    }
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

// A window pixel rectangle on a screen of this scale, edges rounded as Qt rounds them.
QRect toDevice(const QRect& r, qreal scale)
{
    const int left = qRound(r.left() * scale);
    const int top = qRound(r.top() * scale);
    const int right = qRound((r.left() + r.width()) * scale);
    const int bottom = qRound((r.top() + r.height()) * scale);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

double luminance(QRgb c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct DrawnText
{
    QRgb background; // the commonest colour in the text's rectangle, inside its border
    QRgb strongest;  // the pixel that stands out most from it: a glyph's stem in the text's colour
};

DrawnText measureText(const QImage& shot, QRect rect)
{
    // Inside a button's or a field's outline, and a focus mark's.
    if (rect.height() > 8 && rect.width() > 8)
        rect.adjust(2, 2, -2, -2);
    QHash<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[shot.pixel(x, y)];
    DrawnText drawn{0, 0};
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most)
            most = it.value(), drawn.background = it.key();
    drawn.strongest = drawn.background;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (contrast(it.key(), drawn.background) > contrast(drawn.strongest, drawn.background))
            drawn.strongest = it.key();
    return drawn;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of `region` that differ between two pictures of the same window.
int differing(const QImage& a, const QImage& b, const QRect& region, int tolerance = 0)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            count += !near(a.pixel(x, y), b.pixel(x, y), tolerance);
    return count;
}

// Where the rectangle's outermost ring of device pixels is broken: it must be all in one colour
// (a list's border, in its focused colour or not) that its inside, white, is not.
QString brokenBorder(const QImage& shot, const QRect& r)
{
    const QRgb border = shot.pixel(r.center().x(), r.top());
    if (near(border, qRgb(255, 255, 255), 24))
        return QStringLiteral("no border at the top");
    for (int x = r.left(); x <= r.right(); ++x) {
        if (!near(shot.pixel(x, r.top()), border, 8))
            return QStringLiteral("top at x %1").arg(x);
        if (!near(shot.pixel(x, r.bottom()), border, 8))
            return QStringLiteral("bottom at x %1").arg(x);
    }
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (!near(shot.pixel(r.left(), y), border, 8))
            return QStringLiteral("left at y %1").arg(y);
        if (!near(shot.pixel(r.right(), y), border, 8))
            return QStringLiteral("right at y %1").arg(y);
    }
    return {};
}

} // namespace

class TestLookDesktop : public QObject
{
    Q_OBJECT

    QHash<QString, QImage> m_defaultShots; // window name -> its picture with no theme

    QImage defaultShot(const QString& window)
    {
        if (!m_defaultShots.contains(window)) {
            const Gallery g = openGallery(window, {});
            if (g.process)
                m_defaultShots.insert(window,
                                      shoot(g.windowId, QStringLiteral("look-%1-default.png").arg(window)));
        }
        return m_defaultShots.value(window);
    }

private Q_SLOTS:
    void initTestCase() { TILECAST_REQUIRE_DESKTOP(); }

    // Every window is the same picture under each theme and style as with none. The two pictures
    // come from the same X server and fonts, so they match to the pixel.
    void windowsLookTheSameUnderEveryTheme_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("theme");
        const QList<Theme> all = themes();
        for (const char* window : {"Form1", "Form2", "Form3", "Form4", "Form5"})
            for (int t = 0; t < all.size(); ++t)
                QTest::addRow("%s, %s", window, all.at(t).name) << QString::fromLatin1(window) << t;
    }

    void windowsLookTheSameUnderEveryTheme()
    {
        QFETCH(QString, window);
        QFETCH(int, theme);
        const Theme t = themes().at(theme);

        const QImage expected = defaultShot(window);
        QVERIFY(!expected.isNull());
        const Gallery g = openGallery(window, t.env);
        QVERIFY(g.process);
        // A theme that silently failed to load would prove nothing.
        if (!t.style.isEmpty())
            QCOMPARE(g.desktopStyle, t.style);
        if (t.darkPalette)
            QVERIFY2(g.desktopWindow.lightness() < 128, qPrintable(g.desktopWindow.name()));
        // A theme may leave this at 0 (qt6ct does, told not to read the desktop's settings), and
        // then no double-click in the file list would ever count.
        QVERIFY2(g.doubleClickMs >= 100 && g.doubleClickMs <= 5000,
                 qPrintable(QString::number(g.doubleClickMs)));

        const QString slug = QString::fromLatin1(t.name).replace(u' ', u'-');
        const QImage shot = shoot(g.windowId, QStringLiteral("look-%1-%2.png").arg(window, slug));
        QCOMPARE(shot.size(), expected.size());
        // A few antialiased pixels may differ, nothing more.
        const int differ = differing(shot, expected, shot.rect(), 8);
        QVERIFY2(differ <= 20, qPrintable(QStringLiteral("%1 pixels differ").arg(differ)));
    }

    // The real program: its splash and main window are the same pictures under each theme as with
    // none (the windows above are made as the program makes them; this shows that it does).
    void programLooksTheSameUnderEveryTheme_data()
    {
        QTest::addColumn<int>("theme");
        QTest::newRow("no theme") << -1;
        const QList<Theme> all = themes();
        for (int t = 0; t < all.size(); ++t)
            QTest::newRow(all.at(t).name) << t;
    }

    void programLooksTheSameUnderEveryTheme()
    {
        QFETCH(int, theme);
        static QImage expected;
        const Theme t = theme < 0 ? Theme{"default", {}, {}} : themes().at(theme);
        const QString slug = QString::fromLatin1(t.name).replace(u' ', u'-');

        TilecastUnderTest run;
        QVERIFY(run.startMessenger({QStringLiteral("--account"), QStringLiteral("alice@localhost")}));
        run.tilecast = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        run.tilecast->setWorkingDirectory(QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples"));
        for (const auto& [name, value] : t.env)
            run.tilecast->setEnv(name, value);
        QVERIFY(run.tilecast->start());
        const auto main = run.shownWindow(TilecastUnderTest::mainSize(), 15000);
        QVERIFY2(main, qPrintable(run.report()));
        const QString name = QStringLiteral("look-program-main-%1.png").arg(slug);
        if (theme < 0) {
            QVERIFY(run.waitForCaption(QStringLiteral("alice@localhost"), 5000));
            QTest::qWait(300); // the window's first paint, after it is mapped
            expected = shoot(main->idHex(), name);
            QVERIFY(!expected.isNull());
            return;
        }
        QVERIFY2(!expected.isNull(), "the row without a theme runs first");
        // A screen reader finds the program's windows and texts under every theme too.
        QVERIFY2(run.waitForCaption(QStringLiteral("alice@localhost"), 5000), qPrintable(run.report()));
        // The window is mapped before it has painted all of itself: look until it matches.
        int differ = -1;
        QElapsedTimer looking;
        looking.start();
        do {
            const QImage shot = shoot(main->idHex(), name);
            QCOMPARE(shot.size(), expected.size());
            differ = differing(shot, expected, shot.rect(), 8);
        } while (differ > 20 && looking.elapsed() < 15000 && (QTest::qWait(200), true));
        QVERIFY2(differ <= 20, qPrintable(QStringLiteral("%1 pixels differ").arg(differ)));
    }

    // Every text the windows show stands out from what lies behind it by 4.5:1 at least, and is
    // drawn in the colour its palette gives it (a theme's own colours would show here). The
    // captions in the colours the window's design fixes (link blue, mid grey, the splash's red)
    // stay below that: they are listed, not failed.
    void textIsReadable_data()
    {
        QTest::addColumn<QString>("window");
        for (const char* window : {"Form1", "Form2", "Form3", "Form4", "Form5"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }

    void textIsReadable()
    {
        QFETCH(QString, window);
        const QImage shot = defaultShot(window);
        QVERIFY(!shot.isNull());
        const Gallery g = openGallery(window, {});
        QVERIFY(g.process);
        const QList<QColor> designColours{QColor(128, 168, 234), QColor(128, 128, 128), QColor(255, 0, 0)};
        QStringList failures;
        QStringList design;
        for (const Item& text : g.all(QStringLiteral("text"))) {
            const DrawnText drawn = measureText(shot, toDevice(text.rect, 1.0));
            const double asked = contrast(text.colour.rgb(), drawn.background);
            const double seen = contrast(drawn.strongest, drawn.background);
            const QString figures = QStringLiteral("%1 %2 on %3 %4:1")
                                        .arg(text.name, text.colour.name(), QColor(drawn.background).name())
                                        .arg(asked, 0, 'f', 2);
            // Thin glyphs never cover a whole pixel, so what is drawn may fall short a little.
            if (seen < 0.7 * asked)
                failures << figures + QStringLiteral(", drawn at %1:1").arg(seen, 0, 'f', 2);
            else if (designColours.contains(text.colour))
                design << figures;
            else if (asked < 4.5)
                failures << figures;
        }
        if (!design.isEmpty())
            qInfo("fixed colours of the design: %s", qPrintable(design.join(QStringLiteral("; "))));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }

    // At each scale every list's border is a whole ring, and every picture is drawn pixel for
    // pixel from its artwork at that scale (sharp, not scaled from another size), with nothing
    // of the artwork falling outside the part the window shows.
    void scalesKeepBordersAndArtwork_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<qreal>("scale");
        for (const char* window : {"Form1", "Form2", "Form4"})
            for (const qreal scale : artwork::renderedScales)
                QTest::addRow("%s at %gx", window, scale) << QString::fromLatin1(window) << scale;
    }

    void scalesKeepBordersAndArtwork()
    {
        QFETCH(QString, window);
        QFETCH(qreal, scale);
        const Gallery g = openGallery(window, {{QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale)}});
        QVERIFY(g.process);
        const QImage shot = shoot(g.windowId, QStringLiteral("look-%1-at-%2x.png").arg(window).arg(scale));
        QVERIFY(!shot.isNull());

        for (const Item& list : g.all(QStringLiteral("list"))) {
            const QString broken = brokenBorder(shot, toDevice(list.rect, scale));
            QVERIFY2(broken.isEmpty(), qPrintable(list.name + QStringLiteral(": border broken, ") + broken));
        }

        for (const Item& picture : g.all(QStringLiteral("picture"))) {
            QImage art(artwork::scaledPath(picture.file, scale));
            QVERIFY2(!art.isNull(), qPrintable(picture.file));
            art = art.convertToFormat(QImage::Format_ARGB32);
            const QPoint origin = toDevice(picture.rect, scale).topLeft();
            // Inside by a pixel where another control or the window's edge cuts the picture.
            const QRect shown = toDevice(picture.shown, scale).adjusted(1, 1, -1, -1);

            // Nothing drawn where the window does not show the picture, but for the about
            // window's strip, which the design places partly above the window. A picture whose
            // size at this scale is fractional ends in a partly drawn row or column, which no
            // window shows whole; that does not count.
            if (!(window == u"Form2" && picture.name == u"Image1")) {
                const QRect shownInArt = toDevice(picture.shown, scale).translated(-origin);
                const int wholeWidth = int(std::floor(picture.rect.width() * scale + 1e-6));
                const int wholeHeight = int(std::floor(picture.rect.height() * scale + 1e-6));
                for (int y = 0; y < wholeHeight; ++y)
                    for (int x = 0; x < wholeWidth; ++x)
                        if (!shownInArt.contains(x, y) && qAlpha(art.pixel(x, y)) != 0)
                            QFAIL(qPrintable(
                                QStringLiteral("%1 is cut at %2,%3").arg(picture.name).arg(x).arg(y)));
            }

            QList<QRect> covered;
            for (const QRect& cover : picture.covers)
                covered << toDevice(cover, scale).adjusted(-1, -1, 1, 1);
            int compared = 0;
            int mismatched = 0;
            for (int y = shown.top(); y <= shown.bottom(); ++y) {
                for (int x = shown.left(); x <= shown.right(); ++x) {
                    if (std::any_of(covered.begin(), covered.end(),
                                    [x, y](const QRect& c) { return c.contains(x, y); }))
                        continue;
                    // The picture over the window's white.
                    const QRgb a = art.pixel(x - origin.x(), y - origin.y());
                    const int alpha = qAlpha(a);
                    const auto over = [alpha](int c) {
                        return (c * alpha + 255 * (255 - alpha) + 127) / 255;
                    };
                    const QRgb expected = qRgb(over(qRed(a)), over(qGreen(a)), over(qBlue(a)));
                    ++compared;
                    mismatched += !near(shot.pixel(x, y), expected, 2);
                }
            }
            QVERIFY2(compared > 0, qPrintable(picture.name));
            QVERIFY2(mismatched <= compared / 1000,
                     qPrintable(QStringLiteral("%1: %2 of %3 pixels differ from the artwork at %4x")
                                    .arg(picture.name)
                                    .arg(mismatched)
                                    .arg(compared)
                                    .arg(scale)));
        }
    }

    // Each control that can take the keyboard focus looks different with it than without, however
    // the focus came to it; the focus moves between the controls one after another.
    void focusIsShown_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main window") << QStringLiteral("Form1");
        QTest::newRow("new slide show") << QStringLiteral("Form4");
    }

    void focusIsShown()
    {
        QFETCH(QString, window);
        Gallery g = openGallery(window, {});
        QVERIFY(g.process);
        const QList<Item> controls = g.all(QStringLiteral("focus"));
        QVERIFY(controls.size() >= 3);
        QList<QImage> shots;
        for (const Item& control : controls) {
            g.process->write(QStringLiteral("focus %1\n").arg(control.name).toUtf8());
            QVERIFY2(g.process->waitForLine(QStringLiteral("focused ") + control.name, 5000),
                     qPrintable(g.process->report()));
            shots << shoot(g.windowId, QStringLiteral("look-%1-focus-%2.png").arg(window, control.name));
        }
        QStringList unmarked;
        for (int i = 0; i < controls.size(); ++i) {
            const QImage& focused = shots.at(i);
            const QImage& elsewhere = shots.at((i + 1) % shots.size());
            // Only the control's own pixels count, and the mark must be one a person sees: a line
            // around the control or its current line, not a tint on a few pixels.
            const QRect r = toDevice(controls.at(i).rect, 1.0);
            const int changed = differing(focused, elsewhere, r, 24);
            if (changed < (r.width() + r.height()) / 2)
                unmarked << QStringLiteral("%1 (%2 pixels)").arg(controls.at(i).name).arg(changed);
        }
        QVERIFY2(unmarked.isEmpty(), qPrintable(QStringLiteral("no focus shown: ") + unmarked.join(u' ')));
    }
};

QTEST_MAIN(TestLookDesktop)
#include "test_look_desktop.moc"
