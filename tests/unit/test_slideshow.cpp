// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/Fonts.h"
#include "mainwindow/Form1.h"
#include "mainwindow/NotificationArea.h"
#include "messenger/MessengerLink.h"
#include "platform/LastChangeStamp.h"
#include "slideshow/Activation.h"
#include "slideshow/ConnectSlideShow.h"
#include "support/FakeMessenger.h"
#include "support/ProgramTexts.h"
#include "support/SlideShowState.h"

// Activation, deactivation and the ring of slide timers, against an
// in-process messenger. Ticks are raised directly: whichever slide timer is
// enabled fires next.
class TestSlideShow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        FakeMessengerWorld world;
        MessengerLink link{world.factory()};
        Form1 form;

        explicit Fixture(const QStringList& paths = {})
        {
            connectNotificationAreaHandlers(form);
            connectSlideShowHandlers(form, link);
            fillIconRecord(form);
            for (int k = 1; k <= paths.size(); ++k)
                form.slot(k)->setText(paths[k - 1]);
            form.Command2->setEnabled(!paths.isEmpty());
            form.show();
        }

        // The enabled slide timer's position, 0 when none runs.
        int running() const
        {
            int position = 0;
            for (int k = 1; k <= Form1::SlotCount; ++k) {
                if (form.slideTimer(k)->isEnabled()) {
                    if (position != 0)
                        qFatal("two slide timers enabled");
                    position = k;
                }
            }
            return position;
        }

        // Fires the running timer; false when none runs.
        bool tick()
        {
            const int position = running();
            if (position == 0)
                return false;
            Q_EMIT form.slideTimer(position)->fired();
            return true;
        }
    };

    static QStringList paths(int n)
    {
        QStringList list;
        for (int k = 1; k <= n; ++k)
            list << QStringLiteral("/pictures/%1.gif").arg(k);
        return list;
    }

private Q_SLOTS:
    void initTestCase() { useProgramFont(*qApp); }

    void activate()
    {
        Fixture fx(paths(2));
        Form1& f = fx.form;
        f.Text1->setText(QStringLiteral("5000"));
        f.Text10->setText(QStringLiteral("5"));
        f.Command7->setEnabled(true);
        QTest::mouseClick(f.Command2, Qt::LeftButton);

        QVERIFY(!ownEnabled(f.Command7));
        QVERIFY(!ownEnabled(f.Command2));
        QVERIFY(ownEnabled(f.Command1));
        QCOMPARE(f.Label2->caption(), QStringLiteral("Program Is Currently Active!"));
        QCOMPARE(fx.running(), 1);
        QCOMPARE(f.slideTimer(1)->period(), 100);
        for (int k = 2; k <= Form1::SlotCount; ++k)
            QCOMPARE(f.slideTimer(k)->period(), 5000);
        QCOMPARE(f.Label9->caption(), QStringLiteral("5 Seconds"));
        QVERIFY(!f.Frame2->isEnabled());
        QVERIFY(!f.File1->isEnabled());
        QVERIFY(f.isMinimised());
        QVERIFY(f.trayIcon->isPresent());

        // The first picture about 100 ms later, on the real timer.
        QTRY_COMPARE(fx.world.applied, QStringList{QStringLiteral("/pictures/1.gif")});
    }

    void deactivate()
    {
        Fixture fx(paths(3));
        Form1& f = fx.form;
        activateSlideShow(f);
        fx.tick();
        fx.tick();
        f.Label2->setBold(true);
        const QString shown = f.Label6->caption();
        const QString stamp = f.Label8->caption();
        const QStringList applied = fx.world.applied;
        QTest::mouseClick(f.Command1, Qt::LeftButton);

        QVERIFY(ownEnabled(f.Command7));
        QVERIFY(ownEnabled(f.Command2));
        QVERIFY(!ownEnabled(f.Command1));
        QCOMPARE(f.Label2->caption(), QStringLiteral("Program Is Currently Not Active"));
        QVERIFY(!f.Label2->isBold());
        QCOMPARE(fx.running(), 0);
        QVERIFY(f.Text8->text().isEmpty());
        QVERIFY(f.Frame2->isEnabled());
        QCOMPARE(f.Label6->caption(), shown);
        QCOMPARE(f.Label8->caption(), stamp);
        QCOMPARE(f.Label9->caption(), QStringLiteral("1 Seconds"));
        QCOMPARE(f.slideTimer(5)->period(), 1000);
        QCOMPARE(fx.world.applied, applied); // no messenger call
        QVERIFY(f.isMinimised());            // window state untouched

        // Activate again: the show restarts at slot 1.
        f.setMinimised(false);
        activateSlideShow(f);
        fx.tick();
        QCOMPARE(fx.world.applied.last(), QStringLiteral("/pictures/1.gif"));
    }

    void ring_data()
    {
        QTest::addColumn<int>("filled");
        QTest::addColumn<QStringList>("slots"); // used when filled is -1
        QTest::addColumn<bool>("rejectEmpty");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QStringList>("applied");
        QTest::addColumn<int>("runningAfter"); // 0: the ring has stopped
        QTest::addColumn<bool>("errorShown");

        const QStringList all = paths(20);
        const QString none;
        QTest::newRow("twenty slots wrap")
            << 20 << QStringList{} << true << 23 << (all + all.mid(0, 3)) << 4 << false;
        QTest::newRow("3 filled, empty refused: stops at 4")
            << 3 << QStringList{} << true << 10 << (paths(3) << none) << 0 << true;
        QTest::newRow("10 filled, empty refused: fails at 12 every period")
            << 10 << QStringList{} << true << 16 << (paths(10) << none << none << none << none << none) << 12
            << true;
        QTest::newRow("19 filled, empty refused: 20 takes two periods")
            << 19 << QStringList{} << true << 22 << (paths(19) << none << paths(1)) << 2 << false;
        QStringList emptiesAccepted = paths(3);
        for (int k = 4; k <= 20; ++k)
            emptiesAccepted << none;
        QTest::newRow("3 filled, empty accepted")
            << 3 << QStringList{} << false << 21 << (emptiesAccepted << paths(1)) << 2 << false;
        QTest::newRow("equal neighbours apply again")
            << -1 << QStringList{QStringLiteral("/a.gif"), QStringLiteral("/a.gif"), QStringLiteral("/b.gif")}
            << false << 3
            << QStringList{QStringLiteral("/a.gif"), QStringLiteral("/a.gif"), QStringLiteral("/b.gif")} << 4
            << false;
    }

    void ring()
    {
        QFETCH(int, filled);
        QFETCH(QStringList, slots);
        QFETCH(bool, rejectEmpty);
        QFETCH(int, ticks);
        QFETCH(QStringList, applied);
        QFETCH(int, runningAfter);
        QFETCH(bool, errorShown);

        Fixture fx(filled >= 0 ? paths(filled) : slots);
        fx.world.rejectEmptyPath = rejectEmpty;
        Form1& f = fx.form;
        activateSlideShow(f);
        for (int i = 0; i < ticks && fx.tick(); ++i) {
        }
        QCOMPARE(fx.world.applied, applied);
        QCOMPARE(fx.running(), runningAfter);
        QCOMPARE(f.Label2->caption() == testsupport::ErrorLine, errorShown);
        QCOMPARE(f.Label2->isBold(), errorShown);
        if (errorShown) {
            QVERIFY(f.Text8->text().isEmpty());
            QVERIFY(f.Frame2->isEnabled());
            QVERIFY(ownEnabled(f.Command1)); // still looks active
            QVERIFY(!ownEnabled(f.Command2));
        }
    }

    // The error path: grey heading for good, panel usable, positions 1 to 6
    // stopped, status panel as the previous tick left it.
    void failedApply()
    {
        Fixture fx(paths(8));
        Form1& f = fx.form;
        activateSlideShow(f);
        fx.tick();
        fx.tick();
        const QString shown = f.Label6->caption();
        const QString stamp = f.Label8->caption();
        fx.world.running = false; // the messenger is gone: creating the object fails
        fx.tick();
        QCOMPARE(fx.running(), 0);
        QCOMPARE(f.Label2->caption(), testsupport::ErrorLine);
        QVERIFY(f.Label2->isBold());
        QVERIFY(!f.Label14->isEnabled());
        QVERIFY(f.Frame2->isEnabled());
        QCOMPARE(f.Label6->caption(), shown);
        QCOMPARE(f.Label8->caption(), stamp);
        QVERIFY(f.Text8->text().isEmpty());

        // Deactivate clears the bold; the grey heading stays through a new run.
        fx.world.running = true;
        deactivateSlideShow(f);
        QVERIFY(!f.Label2->isBold());
        f.setMinimised(false);
        activateSlideShow(f);
        fx.tick();
        QVERIFY(!f.Label14->isEnabled());
    }

    void statusAfterATick()
    {
        Fixture fx(paths(2));
        Form1& f = fx.form;
        activateSlideShow(f);
        f.Label2->setBold(true);
        const QDateTime before = QDateTime::currentDateTime();
        fx.tick();
        QCOMPARE(f.Label6->caption(), QStringLiteral("/pictures/1.gif"));
        QCOMPARE(f.Text8->text(), QStringLiteral("/pictures/1.gif"));
        QVERIFY(!f.Label2->isBold());
        const QString stamp = f.Label8->caption();
        QVERIFY2(stamp == lastChangeStamp(before) || stamp == lastChangeStamp(before.addSecs(1)),
                 qPrintable(stamp));

        // A skipped position still shows its own slot's path.
        f.Text8->setText(QStringLiteral("something else"));
        fx.tick();
        QCOMPARE(fx.world.applied.size(), 1);
        QCOMPARE(f.Label6->caption(), QStringLiteral("/pictures/2.gif"));
    }

    // After a wrap Timer1 runs with the period position 20 gave it, also in
    // the next activation.
    void activateAfterWrap()
    {
        Fixture fx(paths(20));
        Form1& f = fx.form;
        f.Text1->setText(QStringLiteral("3000"));
        activateSlideShow(f);
        f.Text1->setText(QStringLiteral("7000")); // changed while running
        for (int i = 0; i < 20; ++i)
            fx.tick();
        QCOMPARE(f.slideTimer(1)->period(), 7000);
        QCOMPARE(f.slideTimer(2)->period(), 3000);
        deactivateSlideShow(f);
        f.setMinimised(false);
        activateSlideShow(f);
        QCOMPARE(f.slideTimer(1)->period(), 7000);
    }

    void trayIcon()
    {
        Fixture fx(paths(1));
        Form1& f = fx.form;
        QVERIFY(!f.trayIcon->isPresent());
        f.setMinimised(true);
        QTRY_VERIFY(f.trayIcon->isPresent());
        Q_EMIT f.trayIcon->doubleClicked();
        QTRY_VERIFY(!f.isMinimised());
        QVERIFY(!f.trayIcon->isPresent());
        // A double-click while the window is shown changes nothing.
        Q_EMIT f.trayIcon->doubleClicked();
        QVERIFY(f.isVisible() && !f.isMinimised());
    }
};

QTEST_MAIN(TestSlideShow)
#include "test_slideshow.moc"
