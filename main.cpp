// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/Shell.h"
#include "controls/Look.h"
#include "messenger/ChooseMessenger.h"
#include "platform/DisplayPlatform.h"
#include "resources/Artwork.h"
#include "update/UpdateServer.h"

int main(int argc, char* argv[])
{
    prepareProgramLook();
    // Asked for through the environment, which is put back once Qt has read it: the programs
    // Tilecast starts (a browser) choose for themselves.
    const QByteArray platforms = preferredQtPlatforms(argc, argv);
    if (!platforms.isEmpty())
        qputenv("QT_QPA_PLATFORM", platforms);
    QApplication app(argc, argv);
    if (!platforms.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    // The X11 window class (WM_CLASS "tilecast", "Tilecast") and the Wayland app id match the
    // desktop entry, so that the desktop shows the windows under its name and icon.
    QApplication::setApplicationName(QStringLiteral("Tilecast"));
    QApplication::setDesktopFileName(QStringLiteral("org.tilecast.Tilecast"));
    QApplication::setWindowIcon(artwork::programIcon());
    useProgramLook(app);

    MessengerLink messenger(&createMessenger);
    Shell shell(messenger, UpdateServer::builtIn());
    shell.openSplash();
    return QApplication::exec();
}
