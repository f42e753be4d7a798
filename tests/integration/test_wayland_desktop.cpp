// SPDX-License-Identifier: GPL-3.0-or-later
#include <QPainter>
#include <QRegularExpression>

#include "resources/Artwork.h"
#include "support/StatusNotifierWatcher.h"
#include "support/TilecastUnderTest.h"

namespace {

// One xdg_toplevel as the program's Wayland protocol log (WAYLAND_DEBUG=client) shows it:
// what the program asked of the compositor for that window, and whether it was configured.
struct Toplevel
{
    QStringList requests; // "set_max_size(562, 502)", in order
    bool configured = false;

    // The arguments of the last request of this name; empty when there was none.
    QString last(const QString& name) const
    {
        for (qsizetype i = requests.size() - 1; i >= 0; --i) {
            if (requests.at(i).startsWith(name + QLatin1Char('(')))
                return requests.at(i).mid(name.size() + 1).chopped(1);
        }
        return {};
    }
};

// Every toplevel the log shows, in order of creation. Object numbers are reused once an
// object is gone, so each get_toplevel starts a new one.
QList<Toplevel> toplevels(const QByteArray& log)
{
    static const QRegularExpression created(
        QStringLiteral(R"(-> xdg_surface@\d+\.get_toplevel\(new id xdg_toplevel@(\d+)\))"));
    static const QRegularExpression request(QStringLiteral(R"(-> xdg_toplevel@(\d+)\.(\w+\(.*\))$)"));
    static const QRegularExpression configure(QStringLiteral(R"(\] xdg_toplevel@(\d+)\.configure\()"));
    QList<Toplevel> found;
    QHash<QString, qsizetype> live; // object number -> index in found
    for (const QByteArray& raw : log.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (const auto m = created.match(line); m.hasMatch()) {
            live.insert(m.captured(1), found.size());
            found.append(Toplevel{});
        } else if (const auto m = request.match(line); m.hasMatch() && live.contains(m.captured(1))) {
            found[live.value(m.captured(1))].requests << m.captured(2);
        } else if (const auto m = configure.match(line); m.hasMatch() && live.contains(m.captured(1))) {
            found[live.value(m.captured(1))].configured = true;
        }
    }
    return found;
}

QString sizeArguments(QSize size)
{
    return QStringLiteral("%1, %2").arg(size.width()).arg(size.height());
}

// The main window's toplevels: the program sizes each one to exactly the main window.
QList<Toplevel> mainWindows(const QByteArray& log)
{
    QList<Toplevel> windows;
    for (const Toplevel& t : toplevels(log)) {
        if (t.last(QStringLiteral("set_max_size")) == sizeArguments(TilecastUnderTest::mainSize()))
            windows << t;
    }
    return windows;
}

// Where the main window's client area is on weston's screen: weston places windows itself
// and tells no client where. Found by the banner's logo, which the program draws unscaled.
std::optional<QPoint> findMainWindow(QString* why)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("screen.png"));
    if (QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QStringLiteral("png:") + file}) != 0) {
        *why = QStringLiteral("cannot take a screenshot");
        return std::nullopt;
    }
    const QImage screen = QImage(file).convertToFormat(QImage::Format_RGB32);
    const QRect logo(12, 12, 24, 24); // in the banner, clear of every caption
    // Over the window's white, which shows between the logo's tiles.
    QImage patch(logo.size(), QImage::Format_RGB32);
    patch.fill(Qt::white);
    QPainter(&patch).drawPixmap(QPoint(0, 0), artwork::banner(1.0), logo);
    // Pixel by pixel: the screenshot carries a colour space, which QImage's == compares too.
    const auto matchesAt = [&](int x, int y) {
        for (int row = 0; row < patch.height(); ++row) {
            const auto* shown = reinterpret_cast<const QRgb*>(screen.constScanLine(y + row)) + x;
            if (!std::equal(shown, shown + patch.width(),
                            reinterpret_cast<const QRgb*>(patch.constScanLine(row))))
                return false;
        }
        return true;
    };
    for (int y = 0; y + patch.height() <= screen.height(); ++y) {
        for (int x = 0; x + patch.width() <= screen.width(); ++x) {
            if (matchesAt(x, y))
                return QPoint(x, y) - logo.topLeft();
        }
    }
    *why = QStringLiteral("the main window is not on the screen");
    return std::nullopt;
}

// A click at a point of weston's screen. weston's X11 back-end moves its pointer by how far
// the X pointer moved, so the pointer goes to the corner, where weston stops it, first.
bool clickAt(QPoint at)
{
    const auto move = [](int x, int y) {
        return TilecastUnderTest::xdotool(
            {QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
    };
    return move(1, 1) && move(0, 0) && move(at.x(), at.y()) &&
           TilecastUnderTest::xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

// Keys to weston, which hands them to the window it activated. X sends them where the
// pointer is: on weston's screen.
bool keys(const QStringList& keys)
{
    return TilecastUnderTest::xdotool(
               {QStringLiteral("mousemove"), QStringLiteral("1279"), QStringLiteral("1023")}) &&
           TilecastUnderTest::xdotool(
               QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")} + keys);
}

} // namespace

// Tilecast run natively on Wayland, as a user can ask for it (QT_QPA_PLATFORM=wayland), in
// weston: the notification-area icon while the window is minimised, with a StatusNotifier
// host and without one, and what the program asks of the compositor for its title bars.
class TestWaylandDesktop : public QObject
{
    Q_OBJECT

    // The stand-in signed in, and Tilecast started natively on Wayland, as a user can ask for
    // it, in a folder of two pictures, with its protocol log on its standard error.
    static bool startOnWayland(TilecastUnderTest& run, const QTemporaryDir& folder)
    {
        const QString samples = QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples/");
        if (!QFile::copy(samples + QStringLiteral("aurora.jpg"), folder.filePath(QStringLiteral("a.jpg"))) ||
            !QFile::copy(samples + QStringLiteral("tiles.gif"), folder.filePath(QStringLiteral("b.gif"))) ||
            !run.startMessenger({QStringLiteral("--account"), QStringLiteral("alice@localhost")}))
            return false;
        run.tilecast = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        run.tilecast->setWorkingDirectory(folder.path());
        run.tilecast->setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        run.tilecast->unsetEnv(QStringLiteral("DISPLAY")); // weston's own screen, not one for programs
        run.tilecast->setEnv(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
        run.tilecast->setEnv(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return run.tilecast->start();
    }

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::DesktopNeeds needs;
        needs.windowManager = false;
        needs.wayland = true;
        TILECAST_REQUIRE_DESKTOP(needs);
    }

    void notificationArea_data()
    {
        QTest::addColumn<bool>("host");
        QTest::newRow("StatusNotifier host") << true;
        QTest::newRow("no notification area") << false;
    }

    void notificationArea()
    {
        QFETCH(bool, host);
        testsupport::StatusNotifierWatcher watcher;
        QString why;
        if (host)
            QVERIFY2(watcher.start(&why), qPrintable(why));
        const QString shot = host ? QStringLiteral("wayland-sni-") : QStringLiteral("wayland-no-tray-");

        QTemporaryDir folder;
        TilecastUnderTest run;
        QVERIFY(startOnWayland(run, folder));
        const auto log = [&run] { return run.tilecast->standardError(); };
        QVERIFY2(run.waitForCaption(QStringLiteral("alice@localhost"), 15000), qPrintable(run.report()));
        QVERIFY2(
            QTest::qWaitFor(
                [&] { return !mainWindows(log()).isEmpty() && mainWindows(log()).first().configured; }, 5000),
            "the main window was never configured");
        TilecastUnderTest::screenshotScreen(shot + QStringLiteral("main-window.png"));

        // The file list has the focus: the first picture into the show, then Activate!.
        QVERIFY(keys({QStringLiteral("Home"), QStringLiteral("Return")}));
        QVERIFY2(run.waitForCaption(QStringLiteral("a.jpg"), 5000), qPrintable(run.report()));
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("space")}));
        QVERIFY2(run.waitForCaption(QStringLiteral("Program Is Currently Active!"), 5000),
                 qPrintable(run.report()));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return mainWindows(log()).constLast().requests.contains(
                             QStringLiteral("set_minimized()"));
                     },
                     5000),
                 "Activate! did not minimise the window");

        // The show runs minimised, a tick and more, and the icon stays all along.
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 8000),
                 qPrintable(run.report()));
        TilecastUnderTest::screenshotScreen(shot + QStringLiteral("minimised.png"));
        if (host) {
            QCOMPARE(watcher.items().size(), 1);
            QCOMPARE(watcher.unregistrations(), 0);

            // A click on the icon: the window comes back, mapped anew, and the icon goes.
            QVERIFY2(testsupport::StatusNotifierWatcher::activate(watcher.items().constFirst(), &why),
                     qPrintable(why));
            QTRY_VERIFY_WITH_TIMEOUT(watcher.items().isEmpty(), 5000);
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             return mainWindows(log()).size() == 2 &&
                                    mainWindows(log()).constLast().configured;
                         },
                         5000),
                     "the main window was not shown again");
            TilecastUnderTest::screenshotScreen(shot + QStringLiteral("restored.png"));
        } else {
            QCOMPARE(watcher.registrations(), 0);
        }

        // Title bars: a fixed size for every window, never a maximise, the desktop entry's id.
        const QList<Toplevel> all = toplevels(log());
        QVERIFY(!all.isEmpty());
        for (const Toplevel& t : all) {
            QVERIFY2(!t.last(QStringLiteral("set_min_size")).isEmpty(), qPrintable(t.requests.join(u' ')));
            QCOMPARE(t.last(QStringLiteral("set_min_size")), t.last(QStringLiteral("set_max_size")));
            QCOMPARE(t.last(QStringLiteral("set_app_id")), QStringLiteral("\"org.tilecast.Tilecast\""));
            QVERIFY2(!t.requests.contains(QStringLiteral("set_maximized()")),
                     qPrintable(t.requests.join(u' ')));
        }
        QVERIFY(run.tilecast->isRunning());
        // Qt's XEmbed tray icon, made where it cannot work, says so.
        QVERIFY2(!log().contains("No such signal"), qPrintable(run.report()));
    }

    // Qt draws the title bar itself here, with minimise, maximise and close on every window
    // (30 px high, 3 px border; buttons 18 px wide, 5 px apart, 8 px from the right edge).
    // Its minimise hands the main window to the notification area as Activate! does; its
    // maximise is taken back.
    void qtTitleBar()
    {
        testsupport::StatusNotifierWatcher watcher;
        QString why;
        QVERIFY2(watcher.start(&why), qPrintable(why));
        QTemporaryDir folder;
        TilecastUnderTest run;
        QVERIFY(startOnWayland(run, folder));
        const auto log = [&run] { return run.tilecast->standardError(); };
        QVERIFY2(run.waitForCaption(QStringLiteral("alice@localhost"), 15000), qPrintable(run.report()));
        const int width = TilecastUnderTest::mainSize().width();
        const QPoint minimiseButton(width - 60, -15), maximiseButton(width - 37, -15);

        std::optional<QPoint> client;
        QVERIFY2(QTest::qWaitFor([&] { return (client = findMainWindow(&why)).has_value(); }, 5000),
                 qPrintable(why));
        QVERIFY(clickAt(*client + minimiseButton));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.items().size(), 1, 5000);
        QVERIFY(mainWindows(log()).constLast().requests.contains(QStringLiteral("set_minimized()")));
        QVERIFY2(testsupport::StatusNotifierWatcher::activate(watcher.items().constFirst(), &why),
                 qPrintable(why));
        QTRY_VERIFY_WITH_TIMEOUT(watcher.items().isEmpty(), 5000);

        QVERIFY2(QTest::qWaitFor([&] { return (client = findMainWindow(&why)).has_value(); }, 5000),
                 qPrintable(why));
        QVERIFY(clickAt(*client + maximiseButton));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const QStringList requests = mainWindows(log()).constLast().requests;
                         return requests.indexOf(QStringLiteral("unset_maximized()")) >
                                requests.indexOf(QStringLiteral("set_maximized()"));
                     },
                     5000),
                 "the maximise was not taken back");
        TilecastUnderTest::screenshotScreen(QStringLiteral("wayland-title-bar-maximise.png"));
        QCOMPARE(findMainWindow(&why), client); // where it was, as large as it was
        QCOMPARE(watcher.items().size(), 0);
    }
};

QTEST_MAIN(TestWaylandDesktop)
#include "test_wayland_desktop.moc"
