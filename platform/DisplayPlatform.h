// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// The Qt platform plugins Tilecast asks for, in order, when the user named none: X11 first,
// which in a Wayland session means XWayland, and native Wayland where there is no X display.
// Only on X11 can a program centre its windows, hear that a window was minimised, and have
// the desktop draw each title bar from the window's hints (Qt's own title bar on Wayland
// offers minimise and maximise on every window). Empty leaves the choice to Qt: the user
// made one (QT_QPA_PLATFORM, -platform), or there is no X display.
QByteArray preferredQtPlatforms(const QProcessEnvironment& environment, const QStringList& arguments);

// The same for this process, to be put into QT_QPA_PLATFORM before the QApplication is made.
QByteArray preferredQtPlatforms(int argc, char** argv);
