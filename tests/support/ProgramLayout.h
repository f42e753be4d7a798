// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace testsupport {

// Where the program puts its windows and controls, measured on its own window
// classes built (never shown) in the test's process, so that a desktop test
// finds and clicks the real program where the program itself places things.
// Needs a QApplication, whose font becomes the program's; measured once, on
// first use.
class ProgramLayout
{
public:
    static const ProgramLayout& get();

    QSize splashSize() const { return m_splash; }
    QSize mainWindowSize() const { return m_main; }
    // The centre of a main-window control, by its object name, in the window's
    // client coordinates; fails the program on a name the window does not have.
    QPoint mainWindowPoint(const QString& control) const;

private:
    ProgramLayout();

    QSize m_splash;
    QSize m_main;
    QHash<QString, QRect> m_controls; // in the main window's client coordinates
};

} // namespace testsupport
