// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>
#include <QWindow>

#include "controls/Fonts.h"
#include "editing/Form4.h"
#include "mainwindow/Form1.h"
#include "mainwindow/Form2.h"
#include "mainwindow/NotificationArea.h"
#include "support/Windows.h"

// The notification-area icon follows the main window's state, on a platform that reports
// "minimised" (X11) and on one that only lets the program ask for it (Wayland, played here
// on the offscreen platform: Qt's report of "normal" after a minimise is what Wayland sends).
class TestNotificationArea : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        Form1 form;

        explicit Fixture(bool keepsAskedState)
        {
            form.setKeepsAskedState(keepsAskedState);
            connectNotificationAreaHandlers(form);
            fillIconRecord(form);
            form.show();
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
        }

        // What a person, the desktop or the platform does.
        void run(const QString& step)
        {
            QWindow* window = form.windowHandle();
            if (step == QLatin1String("Activate! minimises")) {
                // As Activate! hands the window over: the icon first, then the state.
                form.trayIcon->add(form.iconRecord);
                form.setMinimised(true);
            } else if (step == QLatin1String("title bar minimises")) {
                window->setWindowState(Qt::WindowMinimized);
            } else if (step == QLatin1String("title bar maximises")) {
                window->setWindowState(Qt::WindowMaximized);
            } else if (step == QLatin1String("platform reports normal")) {
                window->setWindowStates(Qt::WindowNoState);
            } else if (step == QLatin1String("desktop activates it")) {
                QWidget other;
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
                form.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&form));
            } else if (step == QLatin1String("icon double-clicked")) {
                Q_EMIT form.trayIcon->doubleClicked();
            } else {
                QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
            }
            QCoreApplication::processEvents();
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup() { closeAllWindows(); }

    void followsWindowState_data()
    {
        QTest::addColumn<bool>("keepsAskedState");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("minimised");

        const QString activate = QStringLiteral("Activate! minimises");
        const QString titleBar = QStringLiteral("title bar minimises");
        const QString normal = QStringLiteral("platform reports normal");
        QTest::newRow("Wayland: Activate!, then the next configure")
            << true << QStringList{activate, normal} << true;
        QTest::newRow("Wayland: Qt's title bar minimises") << true << QStringList{titleBar, normal} << true;
        QTest::newRow("Wayland: restored through the icon")
            << true << QStringList{activate, normal, QStringLiteral("icon double-clicked")} << false;
        QTest::newRow("Wayland: brought back by the desktop")
            << true << QStringList{titleBar, normal, QStringLiteral("desktop activates it")} << false;
        QTest::newRow("Wayland: maximise is taken back")
            << true << QStringList{QStringLiteral("title bar maximises")} << false;
        QTest::newRow("X11: Activate!") << false << QStringList{activate} << true;
        QTest::newRow("X11: title bar minimises") << false << QStringList{titleBar} << true;
        QTest::newRow("X11: restored by other means") << false << QStringList{activate, normal} << false;
        QTest::newRow("X11: restored through the icon")
            << false << QStringList{activate, QStringLiteral("icon double-clicked")} << false;
        QTest::newRow("X11: maximise is taken back")
            << false << QStringList{QStringLiteral("title bar maximises")} << false;
    }

    // The icon is there exactly while the window is minimised, and the window is never
    // maximised; a window brought back is shown.
    void followsWindowState()
    {
        QFETCH(bool, keepsAskedState);
        QFETCH(QStringList, steps);
        QFETCH(bool, minimised);

        Fixture fx(keepsAskedState);
        Form1& f = fx.form;
        for (const QString& step : std::as_const(steps)) {
            fx.run(step);
            if (QTest::currentTestFailed())
                return;
        }
        QTRY_COMPARE(f.isMinimised(), minimised);
        QCOMPARE(f.trayIcon->isPresent(), minimised);
        QVERIFY(!f.windowState().testFlag(Qt::WindowMaximized));
        QVERIFY(f.isVisible());
        if (!minimised)
            QVERIFY(!f.windowHandle()->windowStates().testFlag(Qt::WindowMinimized));
    }

    // Qt's own title bar on Wayland offers minimise on every window: one without that button
    // comes straight back.
    void windowWithoutMinimiseButton_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("about window") << QStringLiteral("Form2");
        QTest::newRow("New Slide Show box") << QStringLiteral("Form4");
    }

    void windowWithoutMinimiseButton()
    {
        QFETCH(QString, window);
        Window* w = window == QLatin1String("Form2") ? static_cast<Window*>(new Form2()) : new Form4();
        w->setKeepsAskedState(true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->windowHandle()->setWindowState(Qt::WindowMinimized);
        w->windowHandle()->setWindowStates(Qt::WindowNoState);
        QTRY_VERIFY(!w->windowState().testFlag(Qt::WindowMinimized) && w->isVisible());
        QVERIFY(!w->isMinimised());
        delete w;
    }
};

QTEST_MAIN(TestNotificationArea)
#include "test_notification_area.moc"
