// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/Shell.h"
#include "controls/Look.h"
#include "messenger/ChooseMessenger.h"
#include "resources/Artwork.h"
#include "update/UpdateServer.h"

int main(int argc, char* argv[])
{
    prepareProgramLook();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tilecast"));
    QApplication::setDesktopFileName(QStringLiteral("org.tilecast.Tilecast"));
    QApplication::setWindowIcon(artwork::programIcon());
    useProgramLook(app);

    MessengerLink messenger(&createMessenger);
    Shell shell(messenger, UpdateServer::builtIn());
    shell.openSplash();
    return QApplication::exec();
}
