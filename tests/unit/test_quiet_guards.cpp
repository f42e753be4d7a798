// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/WindowTimer.h"
#include "editing/ConnectEditing.h"
#include "mainwindow/Form1.h"

// The two interval guards stay enabled at 100 ms but wake only after the interval changed:
// a tick that follows no change could not change anything. What the buttons show must be
// what ten ticks a second would have left.
class TestQuietGuards : public QObject
{
    Q_OBJECT

    // Long enough for several 100 ms periods on a busy machine.
    static constexpr int QuietMs = 450;

    static bool ownEnabled(const QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }

private Q_SLOTS:
    void guardsWakeOnlyAfterAChange_data()
    {
        QTest::addColumn<QString>("start");  // seconds in the interval fields before the check
        QTest::addColumn<QString>("button"); // clicked after the first ticks; empty: none
        QTest::addColumn<bool>("changes");   // whether the click changes the interval
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("downTen"); // "<<" afterwards

        QTest::newRow("nothing changed") << "20"
                                         << "" << false << "20" << true;
        QTest::newRow("\"<\" at one second changes nothing") << "1"
                                                             << "<" << false << "1" << false;
        QTest::newRow("\">\" to 11 s switches \"<<\" on") << "10"
                                                          << ">" << true << "11" << true;
        QTest::newRow("\"<<\" from 20 s to 10 s switches it off") << "20"
                                                                  << "<<" << true << "10" << false;
        QTest::newRow("\"<\" from 12 s to 11 s keeps it on") << "12"
                                                             << "<" << true << "11" << true;
        QTest::newRow("\">>\" from 1 s") << "1"
                                         << ">>" << true << "11" << true;
    }

    void guardsWakeOnlyAfterAChange()
    {
        QFETCH(QString, start);
        QFETCH(QString, button);
        QFETCH(bool, changes);
        QFETCH(QString, seconds);
        QFETCH(bool, downTen);

        Form1 form;
        connectEditingHandlers(form);
        form.Text10->setText(start);
        form.Text1->setText(start + QStringLiteral("000"));
        // The state the buttons had from the start, as the guards left it.
        form.Command6->setEnabled(start.toInt() >= 11);
        form.Command4->setEnabled(start.toInt() >= 2);
        QTest::qWait(QuietMs);

        QSignalSpy tenSeconds(form.Timer22, &WindowTimer::fired);
        QSignalSpy elevenSeconds(form.Timer23, &WindowTimer::fired);
        const QHash<QString, QPushButton*> buttons = {{QStringLiteral(">"), form.Command3},
                                                      {QStringLiteral(">>"), form.Command5},
                                                      {QStringLiteral("<"), form.Command4},
                                                      {QStringLiteral("<<"), form.Command6}};
        if (!button.isEmpty()) {
            QPushButton* clicked = buttons.value(button);
            clicked->setEnabled(true);
            clicked->click();
        }
        QTest::qWait(QuietMs);

        QCOMPARE(form.Text10->text(), seconds);
        QCOMPARE(ownEnabled(form.Command6), downTen);
        // Designed state unchanged: both guards on, ten times a second.
        for (WindowTimer* guard : {form.Timer22, form.Timer23}) {
            QVERIFY(guard->isEnabled());
            QCOMPARE(guard->period(), 100);
        }
        // One tick after a change (two changes a click: milliseconds and seconds come in one
        // step here, so still one), none without.
        QCOMPARE(tenSeconds.count(), changes ? 1 : 0);
        QCOMPARE(elevenSeconds.count(), changes ? 1 : 0);
    }

    // The timer itself: it waits for arm(), fires once, keeps its tick through a burst of
    // arms, and keeps an arm made while it was disabled.
    void armedTimer_data()
    {
        QTest::addColumn<QString>("steps"); // arm, off, on, wait (QuietMs)
        QTest::addColumn<int>("fires");

        QTest::newRow("never armed") << "wait" << 0;
        QTest::newRow("armed once") << "arm wait" << 1;
        QTest::newRow("armed twice apart") << "arm wait arm wait" << 2;
        QTest::newRow("a burst of arms") << "arm arm arm arm wait" << 1;
        QTest::newRow("armed while disabled, then enabled") << "off arm wait on wait" << 1;
        QTest::newRow("disabled after the arm") << "arm off wait" << 0;
    }

    void armedTimer()
    {
        QFETCH(QString, steps);
        QFETCH(int, fires);
        WindowTimer timer(nullptr, QStringLiteral("T"), 100, true);
        timer.setWaitsForArm(true);
        QSignalSpy fired(&timer, &WindowTimer::fired);
        for (const QString& step : steps.split(QLatin1Char(' '))) {
            if (step == QStringLiteral("arm"))
                timer.arm();
            else if (step == QStringLiteral("off"))
                timer.setEnabled(false);
            else if (step == QStringLiteral("on"))
                timer.setEnabled(true);
            else
                QTest::qWait(QuietMs);
        }
        QCOMPARE(fired.count(), fires);
        QCOMPARE(timer.period(), 100);
    }
};

QTEST_MAIN(TestQuietGuards)
#include "test_quiet_guards.moc"
