// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pwd.h>
#include <unistd.h>

#include "Client.h"
#include "MessengerModel.h"
#include "MessengerService.h"
#include "MessengerWindow.h"
#include "platform/QuitOnSignal.h"

namespace {

QString loginName()
{
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("user") : user;
}

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QString helpText()
{
    return QStringLiteral("Usage: tilecast-messenger [--account NAME] [--signed-out] [--no-window]\n"
                          "       tilecast-messenger sign-in [NAME] | sign-out | status\n"
                          "\n"
                          "A small stand-in messenger for Tilecast on Linux. Without a command it owns\n"
                          "the name org.tilecast.Messenger on the D-Bus session bus, holds one account\n"
                          "and takes display pictures (GIF, JPEG, BMP or PNG files, judged by content)\n"
                          "through SetMyProperty. It prints \"ready\" on stdout once the name is owned,\n"
                          "refuses to start if another instance owns it, and exits with status 0 on\n"
                          "SIGTERM or SIGINT.\n"
                          "\n"
                          "Options:\n"
                          "  --account NAME   Account name (default: your login name, \"%1\").\n"
                          "                   The empty name is allowed: --account \"\"\n"
                          "  --signed-out     Start signed out.\n"
                          "  --no-window      Run without a window (tests, scripts).\n"
                          "  -h, --help       Show this help.\n"
                          "  --version        Show the version.\n"
                          "\n"
                          "Commands, for the running instance:\n"
                          "  sign-in [NAME]   Sign in, as NAME if given (may be empty, may start with\n"
                          "                   a dash), else under the current account name.\n"
                          "  sign-out         Sign out. The display picture is kept.\n"
                          "  status           Print \"state: signed in\" or \"state: signed out\",\n"
                          "                   \"account: NAME\" and \"picture: PATH\" (empty if none).\n"
                          "\n"
                          "Exit status: 0 on success; 1 if the name is already owned (instance), or if\n"
                          "no instance runs or it refused the call (commands); 2 on bad usage.\n"
                          "\n"
                          "D-Bus, object /org/tilecast/Messenger:\n"
                          "  org.tilecast.Messenger\n"
                          "    MySigninName() -> s        error ...Error.NotSignedIn when signed out\n"
                          "    SetMyProperty(i, v)        2 with a file path sets the display picture;\n"
                          "                               errors ...Error.NotSignedIn,\n"
                          "                               ...Error.InvalidArgument, ...Error.Failed\n"
                          "  org.tilecast.MessengerControl\n"
                          "    SignIn(), SignInAs(s account), SignOut()\n"
                          "    ReceivedPictures() -> as   every path given to SetMyProperty(2, ...)\n"
                          "    ClearReceivedPictures()\n"
                          "    Calls() -> a{su}           calls of MySigninName and SetMyProperty\n"
                          "    ResetCalls()\n"
                          "    FailNext(s method, s errorName, s message)\n"
                          "                               fail the next call of method (\"\" = any)\n"
                          "    SetRejectPictures(b)       refuse every picture while true\n"
                          "    properties SignedIn (b), Account (s), DisplayPicture (s),\n"
                          "               RejectPictures (b)\n"
                          "    signals SignedInChanged(b), AccountChanged(s),\n"
                          "            DisplayPictureChanged(s path)\n"
                          "\n"
                          "Example:\n"
                          "  dbus-send --session --print-reply --dest=org.tilecast.Messenger \\\n"
                          "    /org/tilecast/Messenger org.tilecast.Messenger.SetMyProperty \\\n"
                          "    int32:2 variant:string:\"$PWD/picture.png\"\n")
        .arg(loginName());
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    // Everything after the command is its argument, so names may start with '-'.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption accountOption(QStringLiteral("account"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption signedOutOption(QStringLiteral("signed-out"));
    const QCommandLineOption noWindowOption(QStringLiteral("no-window"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({accountOption, signedOutOption, noWindowOption, helpOption, versionOption});
    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("tilecast-messenger: %1\nSee tilecast-messenger --help.\n")
                          .arg(parser.errorText()));
        return ClientUsage;
    }
    if (parser.isSet(helpOption)) {
        print(stdout, helpText());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        print(stdout,
              QStringLiteral("tilecast-messenger %1\n").arg(QStringLiteral(TILECAST_MESSENGER_VERSION)));
        return 0;
    }

    const QStringList command = parser.positionalArguments();
    if (!command.isEmpty()) {
        if (parser.isSet(accountOption) || parser.isSet(signedOutOption) || parser.isSet(noWindowOption)) {
            print(stderr,
                  QStringLiteral("tilecast-messenger: --account, --signed-out and --no-window only apply "
                                 "when starting an instance\n"));
            return ClientUsage;
        }
        QCoreApplication app(argc, argv);
        return runClient(command);
    }

    const bool withWindow = !parser.isSet(noWindowOption);
    // Validating pictures needs only QImageReader, which works without a
    // display; only the window needs a GUI connection.
    std::unique_ptr<QCoreApplication> app;
    if (withWindow)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    app->setApplicationName(QStringLiteral("tilecast-messenger"));
    quitOnTerminationSignals(app.get());
    // A launcher that stopped reading our stdout must not take us down with it.
    std::signal(SIGPIPE, SIG_IGN);

    const QString account = parser.isSet(accountOption) ? parser.value(accountOption) : loginName();
    MessengerModel model(account, !parser.isSet(signedOutOption));
    MessengerService service(&model);

    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        print(stderr, QStringLiteral("tilecast-messenger: cannot connect to the D-Bus session bus: %1\n")
                          .arg(bus.lastError().message()));
        return 1;
    }
    QString error;
    if (!service.publish(bus, &error)) {
        print(stderr, QStringLiteral("tilecast-messenger: %1\n").arg(error));
        return 1;
    }

    std::unique_ptr<MessengerWindow> window;
    if (withWindow) {
        window = std::make_unique<MessengerWindow>(&model);
        window->show();
    }

    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return app->exec();
}
