// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

#include "support/A11yTree.h"
#include "support/DesktopSession.h"
#include "support/FixtureWindow.h"
#include "support/ProcessUnderTest.h"
#include "support/XWindows.h"

using namespace testsupport;

// Checks the desktop-test readers against fixture-window, whose windows are known, under the
// real X server, window manager and accessibility bus of scripts/desktop-session. The roles
// and states asserted here are what Qt 6.4 gives and what the program's own tests rely on.
class TestSupportSelftest : public QObject
{
    Q_OBJECT

    const QString fixture = QStringLiteral(TILECAST_FIXTURE_WINDOW);
    // The fixture with every kind of widget and window, started once for the table tests.
    std::unique_ptr<ProcessUnderTest> kinds;
    std::optional<A11yTree::Node> kindsTree;
    QList<XWindow> kindsWindows;

    std::unique_ptr<ProcessUnderTest> startFixture(const QStringList& arguments)
    {
        auto process = std::make_unique<ProcessUnderTest>(fixture, arguments);
        if (!process->start())
            qWarning("%s", qPrintable(process->report()));
        else if (!process->waitForLine(QStringLiteral("ready"), 20000))
            qWarning("fixture not ready:\n%s", qPrintable(process->report()));
        return process;
    }

    // The --kinds fixture, its accessibility tree and X windows once all have settled.
    bool ensureKinds()
    {
        if (kinds)
            return kindsTree.has_value();
        kinds = startFixture({QStringLiteral("--kinds")});
        QString why;
        kindsTree = A11yTree::waitFor(
            kinds->pid(), [](const A11yTree::Node& app) { return app.toplevelWindows().size() == 6; }, 20000,
            &why);
        if (!kindsTree) {
            qWarning("no accessibility tree: %s\n%s", qPrintable(why), qPrintable(kinds->report()));
            return false;
        }
        XWindows::waitUntil(
            [](const QList<XWindow>& windows) {
                return std::count_if(windows.cbegin(), windows.cend(),
                                     [](const XWindow& w) { return w.viewable || w.iconic(); }) == 5;
            },
            20000, kinds->pid(), &kindsWindows);
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TILECAST_REQUIRE_DESKTOP(DesktopNeeds{true, true, true});
        QVERIFY2(QFileInfo(fixture).isExecutable(), qPrintable(fixture));
    }

    void cleanupTestCase() { kinds.reset(); }

    // The plain fixture seen both ways: one client window of its fixed size, and an accessible window
    // with the label and the button; gone from both once stopped.
    void fixtureSeenOnXAndThroughAccessibility()
    {
        auto process = startFixture({});
        QVERIFY2(process->isRunning(), qPrintable(process->report()));
        const qint64 pid = process->pid();

        QList<XWindow> seen;
        QVERIFY2(
            XWindows::waitUntil(
                [](const QList<XWindow>& windows) { return windows.size() == 1 && windows.first().viewable; },
                10000, pid, &seen),
            qPrintable(XWindows::dump(XWindows::topLevel())));
        const XWindow window = seen.first();
        QCOMPARE(window.title, QStringLiteral("Fixture"));
        QCOMPARE(window.instanceName, QStringLiteral("fixture-window"));
        QCOMPARE(window.pid, pid);
        QCOMPARE(window.geometry.size(), FixtureWindowSize);
        QCOMPARE(window.wmState, QStringLiteral("Normal"));
        QVERIFY2(window.shown(), qPrintable(window.describe()));
        QVERIFY2(window.frameExtents.top() > 0, qPrintable(window.describe())); // openbox's title bar
        QVERIFY2(QGuiApplication::primaryScreen()->geometry().contains(window.geometry),
                 qPrintable(window.describe()));

        QString why;
        const std::optional<A11yTree::Node> app = A11yTree::waitFor(
            pid, [](const A11yTree::Node& n) { return n.findByName(QStringLiteral("Press")) != nullptr; },
            10000, &why);
        QVERIFY2(app, qPrintable(why));
        QCOMPARE(app->role, QStringLiteral("application"));
        const QList<const A11yTree::Node*> windows = app->toplevelWindows();
        QCOMPARE(windows.size(), 1);
        QCOMPARE(windows.first()->name, QStringLiteral("Fixture"));
        QVERIFY(windows.first()->showing);
        // Both readers place the client area at the same spot on the screen.
        QCOMPARE(windows.first()->extents, window.geometry);
        const A11yTree::Node* label = app->findByName(QStringLiteral("Hello fixture"));
        QVERIFY2(label, qPrintable(app->dump()));
        QCOMPARE(label->role, QStringLiteral("label"));
        QVERIFY(window.geometry.contains(label->extents));
        QCOMPARE(app->findByName(QStringLiteral("Press"))->role, QStringLiteral("push button"));

        process->stop();
        QVERIFY2(XWindows::waitUntil([](const QList<XWindow>& w) { return w.isEmpty(); }, 10000, pid, &seen),
                 qPrintable(XWindows::dump(seen)));
        QVERIFY(!A11yTree::snapshot(pid));
    }

    void widgetRoles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("role");
        QTest::addColumn<bool>("showing");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("QLabel") << "Hello fixture"
                                << "label" << true << true;
        QTest::newRow("QPushButton") << "Press"
                                     << "push button" << true << true;
        QTest::newRow("disabled QPushButton") << "Disabled"
                                              << "push button" << true << false;
        QTest::newRow("QLineEdit (accessible name)") << "Entry"
                                                     << "text" << true << true;
        QTest::newRow("QListWidget (accessible name)") << "Items"
                                                       << "list" << true << true;
        QTest::newRow("QListWidget item") << "First item"
                                          << "list item" << true << true;
        // Hidden widgets stay in the tree, without showing and visible.
        QTest::newRow("hidden QLabel") << "Hidden label"
                                       << "label" << false << true;
        QTest::newRow("QWidget window") << "Fixture"
                                        << "filler" << true << true;
        QTest::newRow("frameless QWidget window") << "Frameless fixture"
                                                  << "filler" << true << true;
        QTest::newRow("QDialog") << "Dialog fixture"
                                 << "dialog" << true << true;
        QTest::newRow("QMainWindow") << "Main window fixture"
                                     << "frame" << true << true;
        QTest::newRow("hidden QWidget window") << "Gone fixture"
                                               << "filler" << false << true;
    }

    void widgetRoles()
    {
        QFETCH(QString, name);
        QFETCH(QString, role);
        QFETCH(bool, showing);
        QFETCH(bool, enabled);
        QVERIFY(ensureKinds());
        const A11yTree::Node* node = kindsTree->findByName(name);
        QVERIFY2(node, qPrintable(kindsTree->dump()));
        QCOMPARE(node->role, role);
        QCOMPARE(node->showing, showing);
        QCOMPARE(node->visible, showing);
        QCOMPARE(node->enabled, enabled);
    }

    void windowStates_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("viewable");
        QTest::addColumn<QString>("wmState");
        QTest::addColumn<bool>("framed");
        QTest::addColumn<QString>("type");
        QTest::newRow("normal") << "Fixture" << true << "Normal" << true << "_NET_WM_WINDOW_TYPE_NORMAL";
        QTest::newRow("frameless") << "Frameless fixture" << true << "Normal" << false
                                   << "_NET_WM_WINDOW_TYPE_NORMAL";
        QTest::newRow("dialog") << "Dialog fixture" << true << "Normal" << true
                                << "_NET_WM_WINDOW_TYPE_DIALOG";
        QTest::newRow("minimised") << "Minimised fixture" << false << "Iconic" << true
                                   << "_NET_WM_WINDOW_TYPE_NORMAL";
        // Hidden again: still an X window of the process, but unmapped and withdrawn.
        QTest::newRow("hidden") << "Gone fixture" << false << "" << false << "_NET_WM_WINDOW_TYPE_NORMAL";
    }

    void windowStates()
    {
        QFETCH(QString, title);
        QFETCH(bool, viewable);
        QFETCH(QString, wmState);
        QFETCH(bool, framed);
        QFETCH(QString, type);
        QVERIFY(ensureKinds());
        const auto found = std::find_if(kindsWindows.cbegin(), kindsWindows.cend(),
                                        [&title](const XWindow& w) { return w.title == title; });
        QVERIFY2(found != kindsWindows.cend(), qPrintable(XWindows::dump(kindsWindows)));
        const XWindow& w = *found;
        QCOMPARE(w.viewable, viewable);
        QCOMPARE(w.shown(), viewable);
        QVERIFY2(w.wmState == wmState || (wmState.isEmpty() && w.wmState == QStringLiteral("Withdrawn")),
                 qPrintable(w.describe()));
        QCOMPARE(w.iconic(), wmState == QStringLiteral("Iconic"));
        QCOMPARE(w.hidden(), wmState == QStringLiteral("Iconic")); // openbox marks minimised windows hidden
        QVERIFY2(w.frameExtents.isNull() != framed, qPrintable(w.describe()));
        QVERIFY2(w.windowTypes.contains(type), qPrintable(w.describe()));
    }

    // A program that stops answering must make a snapshot fail, not hang the test.
    void hungProgramFailsTheSnapshot()
    {
        auto process = startFixture({});
        QString why;
        QVERIFY2(A11yTree::waitFor(
                     process->pid(), [](const A11yTree::Node& n) { return !n.toplevelWindows().isEmpty(); },
                     10000, &why),
                 qPrintable(why));
        QVERIFY(process->signal(SIGSTOP));
        const std::optional<A11yTree::Node> tree = A11yTree::snapshot(process->pid(), &why);
        process->signal(SIGCONT);
        QVERIFY2(!tree, tree ? qPrintable(tree->dump()) : "");
        QVERIFY2(why.contains(QStringLiteral("no answer")), qPrintable(why));
    }

    // Stopping takes down the whole process group, not only the program itself.
    void stopEndsTheProcessGroup()
    {
        auto process = startFixture({QStringLiteral("--child")});
        const std::optional<QString> line =
            process->waitForLine(QRegularExpression(QStringLiteral("^child \\d+$")), 10000);
        QVERIFY2(line, qPrintable(process->report()));
        const QString stat = QStringLiteral("/proc/%1/stat").arg(line->mid(6));
        QVERIFY(QFile::exists(stat));
        process->stop();
        QVERIFY(!process->isRunning());
        // The orphaned child may linger as a zombie until init reaps it; that is dead enough.
        QFile file(stat);
        const QByteArray state = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QVERIFY2(state.isEmpty() || state.contains(") Z "), state.constData());
    }

    void exitCodeAndOutputAreKept()
    {
        ProcessUnderTest process(fixture, {QStringLiteral("--exit"), QStringLiteral("3")});
        QVERIFY(process.start());
        QVERIFY2(process.waitForExit(10000), qPrintable(process.report()));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 3);
        QCOMPARE(process.standardOutput(), QByteArray("out\n"));
        QCOMPARE(process.standardError(), QByteArray("bye\n"));
        QCOMPARE(process.waitForLine(QStringLiteral("bye"), 1000).value_or(QString()), QStringLiteral("bye"));
        QVERIFY(!process.waitForLine(QStringLiteral("by"), 1000)); // whole lines only
        QVERIFY(process.report().contains(QStringLiteral("exited with code 3")));

        ProcessUnderTest missing(QStringLiteral("/nonexistent/program"));
        QVERIFY(!missing.start());
        QVERIFY2(missing.report().contains(QStringLiteral("could not start")), qPrintable(missing.report()));
    }

    void desktopProblemSaysWhatIsMissing_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value"); // empty: unset; "<bare bus>": a bus without org.a11y.Bus
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside the session") << ""
                                            << ""
                                            << "";
        QTest::newRow("no display") << "DISPLAY"
                                    << ""
                                    << "DISPLAY is not set";
        QTest::newRow("no X server") << "DISPLAY"
                                     << ":65000"
                                     << "cannot reach the X server";
        QTest::newRow("no session bus") << "DBUS_SESSION_BUS_ADDRESS"
                                        << ""
                                        << "DBUS_SESSION_BUS_ADDRESS is not set";
        QTest::newRow("dead session bus") << "DBUS_SESSION_BUS_ADDRESS"
                                          << "unix:path=/nonexistent/bus"
                                          << "cannot reach the session bus";
        QTest::newRow("no accessibility bus") << "DBUS_SESSION_BUS_ADDRESS"
                                              << "<bare bus>"
                                              << "no accessibility bus";
    }

    void desktopProblemSaysWhatIsMissing()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        std::unique_ptr<ProcessUnderTest> bareBus;
        if (value == QStringLiteral("<bare bus>")) {
            bareBus = std::make_unique<ProcessUnderTest>(QStringLiteral("dbus-daemon"),
                                                         QStringList{QStringLiteral("--session"),
                                                                     QStringLiteral("--nofork"),
                                                                     QStringLiteral("--print-address=1")});
            QVERIFY(bareBus->start());
            const std::optional<QString> address =
                bareBus->waitForLine(QRegularExpression(QStringLiteral("^unix:")), 10000);
            QVERIFY2(address, qPrintable(bareBus->report()));
            value = *address;
        }
        if (value.isEmpty())
            env.remove(variable);
        else if (!variable.isEmpty())
            env.insert(variable, value);

        const QString problem = desktopProblem(DesktopNeeds{true, true, true}, env);
        if (expected.isEmpty()) {
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        } else {
            QVERIFY2(problem.contains(expected), qPrintable(problem));
            QVERIFY2(problem.contains(QStringLiteral("scripts/desktop-session")), qPrintable(problem));
        }
    }
};

QTEST_MAIN(TestSupportSelftest)
#include "test_support_selftest.moc"
