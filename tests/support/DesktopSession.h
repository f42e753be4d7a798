// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTest>

namespace testsupport {

// What a desktop test needs besides an X display and a session bus.
struct DesktopNeeds
{
    bool accessibility = true; // the AT-SPI bus (org.a11y.Bus on the session bus)
    bool windowManager = true;
    bool tray = false;    // the trayer system tray that scripts/desktop-session starts
    bool wayland = false; // weston, which scripts/desktop-session --wayland starts
};

// Empty when the environment is a desktop as scripts/desktop-session provides it; otherwise
// what is missing and how to run the test properly. Each look is bounded by a short time-out.
QString desktopProblem(const DesktopNeeds& needs = {},
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

} // namespace testsupport

// Fails the current test (in initTestCase: all of them) with a clear message when not run
// inside scripts/desktop-session; a silent skip would let a broken set-up pass unnoticed.
#define TILECAST_REQUIRE_DESKTOP(...)                                                                        \
    do {                                                                                                     \
        const QString tilecastDesktopProblem_ = ::testsupport::desktopProblem(__VA_ARGS__);                  \
        if (!tilecastDesktopProblem_.isEmpty())                                                              \
            QFAIL(qPrintable(tilecastDesktopProblem_));                                                      \
    } while (false)
