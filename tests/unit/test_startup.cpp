// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/Colours.h"
#include "controls/Fonts.h"
#include "support/ShellFixture.h"

// Start-up, the watchdog and the exit, driven against an in-process messenger.
// Timer ticks are raised directly, except where the delay itself is checked.
class TestStartup : public QObject
{
    Q_OBJECT

    struct Run : ShellFixture
    {
        QList<QPointer<Form1>> created; // every main window, in order

        explicit Run(TestStartup* test)
        {
            QObject::connect(&shell, &Shell::mainWindowCreated, test, [this, test](Form1* form) {
                created << form;
                form->installEventFilter(test);
            });
        }
    };

    QSet<QObject*> m_shown;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            m_shown.insert(watched);
        return false;
    }

    static void tick(WindowTimer* timer) { Q_EMIT timer->fired(); }
    static void verifyLoading(Form3* splash)
    {
        QVERIFY(splash && splash->isVisible());
        QCOMPARE(splash->Label1->caption(), QStringLiteral("Loading Tilecast..."));
        QCOMPARE(splash->Label1->textColor(), colours::midGrey);
        QVERIFY(splash->Label2->isHidden());
        QVERIFY(splash->Timer1->isEnabled());
        QCOMPARE(splash->Timer1->period(), 2000);
        QVERIFY(!splash->Timer2->isEnabled());
    }

    static void verifyExiting(Form3* splash)
    {
        QVERIFY(splash && splash->isVisible());
        QCOMPARE(splash->Label1->caption(), QStringLiteral("Please sign into MSN Messenger."));
        QCOMPARE(splash->Label1->textColor(), colours::alertRed);
        QVERIFY(splash->Label2->isVisible());
        QCOMPARE(splash->Label2->caption(), QStringLiteral("Exiting Tilecast."));
        QCOMPARE(splash->Label2->textColor(), colours::alertRed);
        QVERIFY(!splash->Timer1->isEnabled());
        QVERIFY(splash->Timer2->isEnabled());
        QCOMPARE(splash->Timer2->period(), 2000);
    }

    static int visibleWindows()
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += w->isVisible() ? 1 : 0;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        // The tests close every window; the test runner must outlive that.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup()
    {
        closeAllWindows();
        m_shown.clear();
    }

    void signedInOpensMainWindow()
    {
        Run run(this);
        run.world.account = QStringLiteral("bob");
        Form3* splash = run.shell.openSplash();
        verifyLoading(splash);
        QPointer<Form3> splashAlive(splash);

        tick(splash->Timer1);
        deleteClosedWindows();
        QVERIFY(splashAlive.isNull());
        QCOMPARE(run.created.size(), 1);
        Form1* form = run.created.first();
        QVERIFY(form && form->isVisible());
        QCOMPARE(form->Label7->caption(), QStringLiteral("bob"));
        QCOMPARE(form->Label17->caption(), QDir::currentPath());
        QCOMPARE(form->Label17->caption(), form->File1->path());
        QCOMPARE(visibleWindows(), 1);
        // One object serves the check, the load and later reads.
        QCOMPARE(run.world.created, 1);
        QCOMPARE(run.world.reads, 2);
    }

    void emptyAccountNameCountsAsSignedIn()
    {
        Run run(this);
        run.world.account = QString();
        Form3* splash = run.shell.openSplash();
        tick(splash->Timer1);
        deleteClosedWindows();
        QCOMPARE(run.created.size(), 1);
        QVERIFY(run.created.first()->isVisible());
        QCOMPARE(run.created.first()->Label7->caption(), QString());
    }

    void failedCheck_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("signOutAfterReads");
        QTest::addColumn<bool>("mainWindowCreated");
        QTest::newRow("no messenger running") << false << true << -1 << false;
        QTest::newRow("not signed in") << true << false << -1 << false;
        QTest::newRow("signed out during the main window's load") << true << true << 1 << true;
    }

    // Every failure ends in the same exiting state; a main window created for
    // a load that failed is closed again without ever being shown.
    void failedCheck()
    {
        QFETCH(bool, running);
        QFETCH(bool, signedIn);
        QFETCH(int, signOutAfterReads);
        QFETCH(bool, mainWindowCreated);

        Run run(this);
        run.world.running = running;
        run.world.signedIn = signedIn;
        run.world.signOutAfterReads = signOutAfterReads;
        Form3* splash = run.shell.openSplash();
        QPointer<Form3> splashAlive(splash);
        tick(splash->Timer1);
        deleteClosedWindows();

        verifyExiting(splash);
        QCOMPARE(run.created.size(), mainWindowCreated ? 1 : 0);
        for (const QPointer<Form1>& form : std::as_const(run.created)) {
            QVERIFY(form.isNull());
        }
        QVERIFY(m_shown.isEmpty());
        QCOMPARE(visibleWindows(), 1);

        tick(splash->Timer2);
        deleteClosedWindows();
        QVERIFY(splashAlive.isNull());
        QCOMPARE(visibleWindows(), 0);
    }

    // The splash waits two seconds before it checks, and in its exiting state
    // two more before it closes.
    void splashDelays()
    {
        Run run(this);
        run.world.signedIn = false;
        QElapsedTimer clock;
        clock.start();
        QPointer<Form3> splash = run.shell.openSplash();
        QTRY_VERIFY_WITH_TIMEOUT(splash->Timer2->isEnabled(), 10000);
        QVERIFY2(clock.elapsed() >= 1990, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(splash.isNull(), 10000);
        QVERIFY2(clock.elapsed() >= 3990, qPrintable(QString::number(clock.elapsed())));
    }

    void watchdogKeepsReading()
    {
        Run run(this);
        run.start();
        Form1* form = run.created.first();
        QVERIFY(form->Timer7->isEnabled());
        QCOMPARE(form->Timer7->period(), 1000);
        run.world.account = QStringLiteral("carol");
        tick(form->Timer7);
        QCOMPARE(form->Text9->text(), QStringLiteral("carol"));
        QCOMPARE(form->Label7->caption(), QStringLiteral("alice@example.org")); // set at load only
        QVERIFY(form->isVisible());
        QVERIFY(!run.shell.splash());
    }

    // Sign-out while running: back to the splash, the main window and all it
    // held are gone; signing in again in time gives a fresh main window.
    void watchdogReturnsToSplash()
    {
        Run run(this);
        run.start();
        QPointer<Form1> first = run.created.first();
        first->slot(1)->setText(QStringLiteral("/pictures/a.gif"));
        first->List1->appendLine(QStringLiteral("a.gif"));
        first->Label23->setCaption(QStringLiteral("1"));
        first->Text10->setText(QStringLiteral("7"));
        first->Text1->setText(QStringLiteral("7000"));

        run.world.signedIn = false;
        tick(first->Timer7);
        deleteClosedWindows();
        QVERIFY(first.isNull());
        Form3* splash = run.shell.splash();
        verifyLoading(splash);
        QCOMPARE(visibleWindows(), 1);

        run.world.signedIn = true;
        tick(splash->Timer1);
        deleteClosedWindows();
        QCOMPARE(run.created.size(), 2);
        Form1* second = run.created.last();
        QVERIFY(second->isVisible());
        QVERIFY(second->slot(1)->text().isEmpty());
        QCOMPARE(second->List1->lineCount(), 0);
        QCOMPARE(second->Label23->caption(), QStringLiteral("0"));
        QCOMPARE(second->Text10->text(), QStringLiteral("1"));
        QCOMPARE(second->Text1->text(), QStringLiteral("1000"));
        QCOMPARE(second->Label7->caption(), QStringLiteral("alice@example.org"));
    }

    void watchdogThenStillSignedOutExits()
    {
        Run run(this);
        run.start();
        run.world.running = false;
        tick(run.created.first()->Timer7);
        deleteClosedWindows();
        Form3* splash = run.shell.splash();
        tick(splash->Timer1);
        verifyExiting(splash);
        QCOMPARE(run.created.size(), 1);
    }

    void exitClosesEveryWindow()
    {
        Run run(this);
        run.start();
        Form1* form = run.created.first();
        QTest::mouseClick(form->Label19, Qt::LeftButton);
        deleteClosedWindows();
        QVERIFY(run.created.first().isNull());
        QCOMPARE(visibleWindows(), 0);
    }

    void closeBoxClosesMainWindowOnly()
    {
        Run run(this);
        run.start();
        run.created.first()->close();
        deleteClosedWindows();
        QVERIFY(run.created.first().isNull());
        QCOMPARE(visibleWindows(), 0);
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
