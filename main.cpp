#include "app/Shell.h"
#include "messenger/DBusMessenger.h"
#include "platform/Fonts.h"
#include "resources/Artwork.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tilecast"));
    QApplication::setDesktopFileName(QStringLiteral("tilecast"));
    QApplication::setWindowIcon(artwork::programIcon());
    useProgramFont(app);

    MessengerLink messenger(&DBusMessenger::create);
    Shell shell(messenger);
    shell.openSplash();
    return QApplication::exec();
}
