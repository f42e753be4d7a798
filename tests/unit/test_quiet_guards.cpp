// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/WindowTimer.h"
#include "editing/ConnectEditing.h"
#include "mainwindow/Form1.h"
#include "support/SlideShowState.h"

// The two interval guards stay enabled at 100 ms but wake only after the interval changed:
// a tick that follows no change could not change anything. After a change the "<<" button
// shows what ten ticks a second would have left. Without one, the test leaves "<<" where a
// tick would switch it over: only guards that stayed asleep leave it there.
class TestQuietGuards : public QObject
{
    Q_OBJECT

    // Long enough for several 100 ms periods on a busy machine.
    static constexpr int QuietMs = 450;

private Q_SLOTS:
    void guardsWakeOnlyAfterAChange_data()
    {
        QTest::addColumn<QString>("start");      // seconds in the interval fields before the check
        QTest::addColumn<bool>("downTenBefore"); // "<<" once the first ticks are over
        QTest::addColumn<QString>("button");     // clicked then; empty: none
        QTest::addColumn<bool>("changes");       // whether the click changes the interval
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("downTen"); // "<<" afterwards

        // A guard that woke would switch "<<" off at ten seconds, on at eleven.
        QTest::newRow("nothing changed at 10 s") << "10" << true << "" << false << "10" << true;
        QTest::newRow("nothing changed at 11 s") << "11" << false << "" << false << "11" << false;
        QTest::newRow("\"<\" at one second changes nothing") << "1" << false << "<" << false << "1" << false;
        // Only the guards switch "<<" here; the buttons' own handlers leave it.
        QTest::newRow("\">\" to 11 s switches \"<<\" on") << "10" << false << ">" << true << "11" << true;
        QTest::newRow("\"<<\" from 20 s to 10 s switches it off")
            << "20" << true << "<<" << true << "10" << false;
        // Here the buttons' handlers set it themselves; the guards agree.
        QTest::newRow("\"<\" from 12 s to 11 s keeps it on") << "12" << true << "<" << true << "11" << true;
        QTest::newRow("\">>\" from 1 s") << "1" << false << ">>" << true << "11" << true;
    }

    void guardsWakeOnlyAfterAChange()
    {
        QFETCH(QString, start);
        QFETCH(bool, downTenBefore);
        QFETCH(QString, button);
        QFETCH(bool, changes);
        QFETCH(QString, seconds);
        QFETCH(bool, downTen);

        Form1 form;
        connectEditingHandlers(form);
        form.Text10->setText(start);
        form.Text1->setText(start + QStringLiteral("000"));
        form.Command4->setEnabled(start.toInt() >= 2);
        QTest::qWait(QuietMs); // the ticks that follow the start's change

        form.Command6->setEnabled(downTenBefore);
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
        // One tick after a change (two changes a click: milliseconds and seconds come in one
        // step here, so still one), none without.
        QCOMPARE(tenSeconds.count(), changes ? 1 : 0);
        QCOMPARE(elevenSeconds.count(), changes ? 1 : 0);
    }
};

QTEST_MAIN(TestQuietGuards)
#include "test_quiet_guards.moc"
