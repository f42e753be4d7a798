// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QtTest>

#include <memory>

#include "support/A11yTree.h"
#include "support/DesktopSession.h"
#include "support/ProcessUnderTest.h"
#include "support/ProgramLayout.h"
#include "support/StandInProcess.h"
#include "support/XWindows.h"

// The real programs in the private desktop: the stand-in messenger on the
// session bus, then tilecast in a given folder. Tests see what a person
// sees: X windows by their size, captions through the accessibility tree,
// and input through xdotool. Window sizes and click points come from the
// program's own layout (ProgramLayout), so the test needs a QApplication.
class TilecastUnderTest
{
public:
    static QSize splashSize() { return testsupport::ProgramLayout::get().splashSize(); }
    static QSize mainSize() { return testsupport::ProgramLayout::get().mainWindowSize(); }

    // Main-window controls that the tests click, by the program's own names.
    static inline const QString ActivateButton = QStringLiteral("Command2");
    static inline const QString DeactivateButton = QStringLiteral("Command1");
    static inline const QString ExitCaption = QStringLiteral("Label19");

    bool startMessenger(const QStringList& args) { return messenger.start(args); }

    bool startTilecast(const QString& folder)
    {
        tilecast = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        tilecast->setWorkingDirectory(folder);
        tilecast->setEnv(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return tilecast->start();
    }

    // Tilecast's window of this client size that a person can see.
    std::optional<testsupport::XWindow> shownWindow(QSize size, int timeoutMs) const
    {
        return testsupport::XWindows::waitFor(
            [size](const testsupport::XWindow& w) { return w.shown() && w.geometry.size() == size; },
            timeoutMs, tilecast->pid());
    }

    bool noWindowShown(QSize size, int timeoutMs) const
    {
        return testsupport::XWindows::waitUntil(
            [size](const QList<testsupport::XWindow>& windows) {
                return std::none_of(windows.begin(), windows.end(), [size](const testsupport::XWindow& w) {
                    return w.shown() && w.geometry.size() == size;
                });
            },
            timeoutMs, tilecast->pid());
    }

    // Waits until the accessibility tree shows a label, button or other
    // object with this exact name.
    std::optional<testsupport::A11yTree::Node> waitForCaption(const QString& caption, int timeoutMs) const
    {
        QString error;
        auto tree = testsupport::A11yTree::waitFor(
            tilecast->pid(),
            [&caption](const testsupport::A11yTree::Node& n) { return n.findByName(caption); }, timeoutMs,
            &error);
        if (!tree)
            qWarning("%s", qPrintable(error));
        return tree;
    }

    static bool xdotool(const QStringList& args)
    {
        return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
    }

    // A left click at a point of a window's client area.
    static bool click(const testsupport::XWindow& window, QPoint at)
    {
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window.idHex(),
                        QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                        QStringLiteral("1")});
    }

    // A left click on the centre of one of the main window's controls.
    static bool clickControl(const testsupport::XWindow& mainWindow, const QString& control)
    {
        return click(mainWindow, testsupport::ProgramLayout::get().mainWindowPoint(control));
    }

    static bool keys(const testsupport::XWindow& window, const QStringList& keys)
    {
        return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--window"), window.idHex(),
                                   QStringLiteral("--delay"), QStringLiteral("60")} +
                       keys);
    }

    static void screenshot(const QString& name, const testsupport::XWindow& window)
    {
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QTest::qWait(400); // a window just mapped may not have painted yet
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), window.idHex(),
                                                     QStringLiteral("png:") + dir + QLatin1Char('/') + name});
    }

    // The whole screen: window frames and title bars too.
    static void screenshotScreen(const QString& name)
    {
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QTest::qWait(400); // what was just mapped or unmapped has been painted
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QStringLiteral("png:") + dir + QLatin1Char('/') + name});
    }

    QString report() const
    {
        return (tilecast ? tilecast->report() : QString()) + QLatin1Char('\n') + messenger.report();
    }

    StandInProcess messenger;
    std::unique_ptr<testsupport::ProcessUnderTest> tilecast;
};
