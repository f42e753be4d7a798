// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <pwd.h>
#include <unistd.h>

#include "Client.h"
#include "contract/CommandLine.h"
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

struct Options
{
    QCommandLineOption account{QStringLiteral("account"), QString(), QStringLiteral("NAME")};
    QCommandLineOption signedOut{QStringLiteral("signed-out")};
    QCommandLineOption noWindow{QStringLiteral("no-window")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{QStringLiteral("version")};
};

// The arguments; an exit code when they are answered already (help, version, bad usage).
std::optional<int> parseArguments(int argc, char* argv[], const Options& options, QCommandLineParser& parser)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // Everything after the command is its argument, so names may start with '-'.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({options.account, options.signedOut, options.noWindow, options.help, options.version});
    if (!parser.parse(arguments))
        return cli::fail(parser.errorText() + QStringLiteral("\nSee tilecast-messenger --help."), cli::Usage);
    if (parser.isSet(options.help)) {
        cli::print(stdout, helpText());
        return cli::Ok;
    }
    if (parser.isSet(options.version)) {
        cli::printLine(
            stdout, QStringLiteral("tilecast-messenger %1").arg(QStringLiteral(TILECAST_MESSENGER_VERSION)));
        return cli::Ok;
    }
    const bool startOptions =
        parser.isSet(options.account) || parser.isSet(options.signedOut) || parser.isSet(options.noWindow);
    if (!parser.positionalArguments().isEmpty() && startOptions)
        return cli::fail(QStringLiteral("--account, --signed-out and --no-window only apply when starting an "
                                        "instance"),
                         cli::Usage);
    return std::nullopt;
}

// Runs an instance until SIGTERM or SIGINT: owns the name, then says "ready".
int runInstance(int argc, char* argv[], const Options& options, const QCommandLineParser& parser)
{
    const bool withWindow = !parser.isSet(options.noWindow);
    // Validating pictures needs only QImageReader, which works without a
    // display; only the window needs a GUI connection.
    std::unique_ptr<QCoreApplication> app;
    if (withWindow)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    quitOnTerminationSignals(app.get());
    // A launcher that stopped reading our stdout must not take us down with it.
    std::signal(SIGPIPE, SIG_IGN);

    const QString account = parser.isSet(options.account) ? parser.value(options.account) : loginName();
    MessengerModel model(account, !parser.isSet(options.signedOut));
    MessengerService service(&model);
    if (const Status published = service.publish(QDBusConnection::sessionBus()); !published)
        return cli::fail(published.failure());

    std::unique_ptr<MessengerWindow> window;
    if (withWindow) {
        window = std::make_unique<MessengerWindow>(&model);
        window->show();
    }
    cli::printLine(stdout, QStringLiteral("ready"));
    return app->exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("tilecast-messenger"));
    QCommandLineParser parser;
    const Options options;
    if (const std::optional<int> answered = parseArguments(argc, argv, options, parser))
        return *answered;

    const QStringList command = parser.positionalArguments();
    if (!command.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runClient(command);
    }
    return runInstance(argc, argv, options, parser);
}
