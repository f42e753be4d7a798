// SPDX-License-Identifier: GPL-3.0-or-later
#include <QSettings>

#include "editing/Form4.h"
#include "mainwindow/Form2.h"
#include "resources/Artwork.h"
#include "support/StatusNotifierWatcher.h"
#include "support/TilecastUnderTest.h"

// X11 without an XEmbed tray, as stock GNOME, where Tilecast runs through XWayland too.
// Each window as the desktop lists and frames it: the X11 class of the desktop entry, its icon,
// and the title-bar functions of its table (the main window minimises and closes, the about
// window and the New Slide Show box only close, none maximises, none resizes). And the icon
// served to a StatusNotifier host instead (KDE Plasma, GNOME's AppIndicator extension).
// Started as a user starts it, without QT_QPA_PLATFORM.
class TestX11NoTrayDesktop : public QObject
{
    Q_OBJECT

    // StartupWMClass of the desktop entry: the class a window must carry to be shown under
    // the entry's name and icon.
    static QString desktopEntryClass()
    {
        QSettings entry(QStringLiteral(TILECAST_SOURCE_DIR "/resources/org.tilecast.Tilecast.desktop"),
                        QSettings::IniFormat);
        return entry.value(QStringLiteral("Desktop Entry/StartupWMClass")).toString();
    }

    static QImage iconImage(const QIcon& icon, int size)
    {
        return icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // The stand-in signed in, and Tilecast started in a folder of one picture.
    static bool startAsUser(TilecastUnderTest& run, const QTemporaryDir& folder)
    {
        if (!QFile::copy(QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples/aurora.jpg"),
                         folder.filePath(QStringLiteral("a.jpg"))) ||
            !run.startMessenger({QStringLiteral("--account"), QStringLiteral("alice@localhost")}))
            return false;
        run.tilecast = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        run.tilecast->setWorkingDirectory(folder.path());
        run.tilecast->unsetEnv(QStringLiteral("QT_QPA_PLATFORM"));
        run.tilecast->setEnv(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return run.tilecast->start();
    }

private Q_SLOTS:
    void initTestCase() { TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, true, false}); }

    void window_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("titleBar");
        QTest::addColumn<bool>("minimise");
        QTest::addColumn<QIcon>("icon");

        const QIcon program = artwork::programIcon();
        QTest::newRow("splash") << QStringLiteral("splash") << TilecastUnderTest::splashSize() << false
                                << false << program;
        QTest::newRow("main window") << QStringLiteral("main") << TilecastUnderTest::mainSize() << true
                                     << true << program;
        QTest::newRow("about window")
            << QStringLiteral("about") << Form2().size() << true << false << artwork::aboutIcon();
        QTest::newRow("New Slide Show box")
            << QStringLiteral("new slide show") << Form4().size() << true << false << program;
    }

    void window()
    {
        QFETCH(QString, window);
        QFETCH(QSize, size);
        QFETCH(bool, titleBar);
        QFETCH(bool, minimise);
        QFETCH(QIcon, icon);

        QTemporaryDir folder;
        TilecastUnderTest run;
        QVERIFY(startAsUser(run, folder));

        if (window != QLatin1String("splash")) {
            const auto main = run.shownWindow(TilecastUnderTest::mainSize(), 10000);
            QVERIFY2(main, qPrintable(run.report()));
            if (window == QLatin1String("about")) {
                QVERIFY(TilecastUnderTest::clickControl(*main, QStringLiteral("Label11")));
            } else if (window == QLatin1String("new slide show")) {
                QVERIFY(TilecastUnderTest::keys(*main, {QStringLiteral("Home"), QStringLiteral("Return")}));
                QVERIFY(run.waitForCaption(QStringLiteral("a.jpg"), 5000));
                QVERIFY(TilecastUnderTest::clickControl(*main, QStringLiteral("Command7")));
            }
        }
        const auto shown = run.shownWindow(size, 10000);
        QVERIFY2(shown, qPrintable(run.report()));
        QString why;
        const auto hints = testsupport::XWindows::hints(shown->id, &why);
        QVERIFY2(hints, qPrintable(why));
        using H = testsupport::XWindowHints;

        QCOMPARE(shown->instanceName, QStringLiteral("tilecast"));
        QCOMPARE(shown->className, desktopEntryClass());
        QCOMPARE(hints->icon(QSize(16, 16)), iconImage(icon, 16));
        QCOMPARE(hints->icon(QSize(32, 32)), iconImage(icon, 32));

        QCOMPARE(hints->titleBar(), titleBar);
        QCOMPARE(hints->offers(H::FunctionMinimise, H::DecorationMinimise), minimise);
        QCOMPARE(hints->offers(H::FunctionClose, 0), titleBar);
        QVERIFY(!hints->offers(H::FunctionMaximise, H::DecorationMaximise));
        QCOMPARE(hints->minimumSize, size);
        QCOMPARE(hints->maximumSize, size);
        TilecastUnderTest::screenshotScreen(
            QStringLiteral("x11-no-tray-%1.png").arg(window).replace(u' ', u'-'));
    }

    // Activate! hands the window to a StatusNotifier host, whose click brings it back.
    void statusNotifierHost()
    {
        testsupport::StatusNotifierWatcher watcher;
        QString why;
        QVERIFY2(watcher.start(&why), qPrintable(why));
        QTemporaryDir folder;
        TilecastUnderTest run;
        QVERIFY(startAsUser(run, folder));
        auto main = run.shownWindow(TilecastUnderTest::mainSize(), 10000);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(TilecastUnderTest::keys(*main, {QStringLiteral("Home"), QStringLiteral("Return")}));
        QVERIFY(run.waitForCaption(QStringLiteral("a.jpg"), 5000));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY(run.noWindowShown(TilecastUnderTest::mainSize(), 5000));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.items().size(), 1, 5000);

        QVERIFY2(testsupport::StatusNotifierWatcher::activate(watcher.items().constFirst(), &why),
                 qPrintable(why));
        main = run.shownWindow(TilecastUnderTest::mainSize(), 5000);
        QVERIFY2(main, qPrintable(run.report()));
        QTRY_VERIFY_WITH_TIMEOUT(watcher.items().isEmpty(), 5000);
        QCOMPARE(watcher.registrations(), 1);
    }
};

QTEST_MAIN(TestX11NoTrayDesktop)
#include "test_x11_no_tray_desktop.moc"
