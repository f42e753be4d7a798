// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TilecastUnderTest.h"

// Start-up, the sign-in watchdog and the exit, with the real tilecast and
// the real stand-in messenger in a private desktop.
class TestStartupDesktop : public QObject
{
    Q_OBJECT

    const QString m_samples = QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples");

private Q_SLOTS:
    void initTestCase() { TILECAST_REQUIRE_DESKTOP(); }

    void signedInStartOpensMainWindow()
    {
        TilecastUnderTest run;
        QVERIFY(run.startMessenger({QStringLiteral("--account"), QStringLiteral("alice@localhost")}));
        QVERIFY(run.startTilecast(m_samples));

        const auto splash = run.shownWindow(TilecastUnderTest::splashSize(), 5000);
        QVERIFY2(splash, qPrintable(run.report()));
        QVERIFY(run.waitForCaption(QStringLiteral("Loading Tilecast..."), 3000));
        TilecastUnderTest::screenshot(QStringLiteral("splash-loading.png"), *splash);

        const auto main = run.shownWindow(TilecastUnderTest::mainSize(), 10000);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY2(run.tilecast->elapsedMs() >= 1900, "the splash waits two seconds");
        QVERIFY(run.noWindowShown(TilecastUnderTest::splashSize(), 3000));
        QCOMPARE(main->title, QStringLiteral("Tilecast"));

        // What a screen reader finds: every caption, the account and the folder.
        const auto tree = run.waitForCaption(QStringLiteral("alice@localhost"), 5000);
        QVERIFY2(tree, qPrintable(run.report()));
        for (const char* caption : {"Enlarge File List",
                                    "Enlarge Directory List",
                                    "Return To Normal",
                                    "View Program Information",
                                    "Exit Application",
                                    "Program Is Currently Not Active",
                                    "Current Display Picture",
                                    "My Signin Name",
                                    "Last Change",
                                    "Interval Set At",
                                    "Not Available",
                                    "Images In Slide Show:",
                                    "Interval Settings:",
                                    "Interval Chosen In Seconds:",
                                    "min = 1 second.",
                                    "New Slide Show",
                                    "Deactivate",
                                    "Activate!",
                                    "<<",
                                    "<",
                                    ">",
                                    ">>",
                                    "Folders",
                                    "Files"}) {
            QVERIFY2(tree->findByName(QString::fromUtf8(caption)), caption);
        }
        QVERIFY2(tree->findByName(QDir(m_samples).canonicalPath()) || tree->findByName(m_samples),
                 qPrintable(tree->dump()));
        const auto* activate = tree->findByName(QStringLiteral("Activate!"));
        QVERIFY(!activate->enabled);
        const auto* up = tree->findByName(QStringLiteral(">"));
        QVERIFY(up->enabled);
        TilecastUnderTest::screenshot(QStringLiteral("main-window.png"), *main);

        // "Exit Application" ends the program.
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ExitCaption));
        QVERIFY2(run.tilecast->waitForExit(5000), qPrintable(run.report()));
        QCOMPARE(run.tilecast->exitCode(), 0);
    }

    void signedOutStartEnds()
    {
        TilecastUnderTest run;
        QVERIFY(run.startMessenger({QStringLiteral("--signed-out")}));
        QVERIFY(run.startTilecast(m_samples));
        const auto splash = run.shownWindow(TilecastUnderTest::splashSize(), 5000);
        QVERIFY(splash);
        const auto tree = run.waitForCaption(QStringLiteral("Please sign into MSN Messenger."), 6000);
        QVERIFY2(tree, qPrintable(run.report()));
        QVERIFY(tree->findByName(QStringLiteral("Exiting Tilecast.")));
        TilecastUnderTest::screenshot(QStringLiteral("splash-exiting.png"), *splash);

        QVERIFY2(run.tilecast->waitForExit(8000), qPrintable(run.report()));
        QCOMPARE(run.tilecast->exitCode(), 0);
        QVERIFY2(run.tilecast->elapsedMs() >= 3900, qPrintable(QString::number(run.tilecast->elapsedMs())));
        QVERIFY(!run.shownWindow(TilecastUnderTest::mainSize(), 0));
    }

    void noMessengerAtAllEnds()
    {
        TilecastUnderTest run;
        QVERIFY(run.startTilecast(m_samples));
        QVERIFY(run.waitForCaption(QStringLiteral("Please sign into MSN Messenger."), 6000));
        QVERIFY2(run.tilecast->waitForExit(8000), qPrintable(run.report()));
    }

    // Signing out brings the splash back within about a second; signing in
    // again before its check gives a fresh main window.
    void signOutWhileRunning()
    {
        TilecastUnderTest run;
        QVERIFY(run.startMessenger({QStringLiteral("--account"), QStringLiteral("bob")}));
        QVERIFY(run.startTilecast(m_samples));
        QVERIFY2(run.shownWindow(TilecastUnderTest::mainSize(), 10000), qPrintable(run.report()));

        QVERIFY(StandInProcess::command({QStringLiteral("sign-out")}));
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(run.shownWindow(TilecastUnderTest::splashSize(), 3000), qPrintable(run.report()));
        QVERIFY(run.noWindowShown(TilecastUnderTest::mainSize(), 3000));
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));

        QVERIFY(StandInProcess::command({QStringLiteral("sign-in")}));
        QVERIFY2(run.shownWindow(TilecastUnderTest::mainSize(), 6000), qPrintable(run.report()));
        QVERIFY(run.tilecast->isRunning());

        // Signed out for good: back to the splash, then the program ends.
        QVERIFY(StandInProcess::command({QStringLiteral("sign-out")}));
        QVERIFY(run.waitForCaption(QStringLiteral("Please sign into MSN Messenger."), 8000));
        QVERIFY2(run.tilecast->waitForExit(6000), qPrintable(run.report()));
    }
};

QTEST_MAIN(TestStartupDesktop)
#include "test_startup_desktop.moc"
