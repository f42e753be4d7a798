// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include "contract/CommandLine.h"
#include "contract/MessengerContract.h"
#include "contract/NameOwner.h"
#include "platform/QuitOnSignal.h"
#include "tilecast-xmpp/AccountFiles.h"
#include "tilecast-xmpp/AvatarPublisher.h"
#include "tilecast-xmpp/BridgeService.h"
#include "tilecast-xmpp/Keychain.h"
#include "tilecast-xmpp/PictureThread.h"
#include "tilecast-xmpp/XmppClient.h"
#include "tilecast-xmpp/XmppText.h"

namespace {

using cli::fail;
using cli::print;
using cli::printLine;

QString helpText()
{
    return QStringLiteral(
        "Usage: tilecast-xmpp [run] [--jid JID] [--password-file FILE] [--server HOST[:PORT]] [--ca-file "
        "FILE]\n"
        "       tilecast-xmpp login JID [--password-file FILE] [--server HOST[:PORT]] [--ca-file FILE]\n"
        "       tilecast-xmpp logout | status | restore\n"
        "\n"
        "Makes Tilecast's slide show the avatar of an XMPP account, for every contact and every\n"
        "one of your own clients. It owns org.tilecast.Messenger on the D-Bus session bus, where\n"
        "Tilecast finds it as it finds any messenger, and publishes each picture Tilecast gives\n"
        "it (XEP-0084, and the vCard photo of XEP-0153 where the server does not convert).\n"
        "It never sends presence: it receives no chats and does not show as online.\n"
        "\n"
        "Commands:\n"
        "  run (default)   Sign in and answer Tilecast until SIGTERM or SIGINT. Signs in again\n"
        "                  after 1, 2, 4 ... 60 s when the connection drops; stops trying on a\n"
        "                  wrong password. Refuses to start when another program owns the name.\n"
        "  login JID       Ask for the password (without echo; read from standard input when it\n"
        "                  is not a terminal), sign in once to prove it, then keep the password\n"
        "                  in the desktop's keychain (Secret Service) and the address in\n"
        "                  $XDG_CONFIG_HOME/tilecast/xmpp.conf. Nothing is kept if it fails.\n"
        "                  With --password-file only the address is kept.\n"
        "  logout          Forget the password and the address.\n"
        "  status          Say whether a service runs on the session bus, signed in as whom.\n"
        "  restore         Put back the avatar the account had before Tilecast first changed it\n"
        "                  (or remove the avatar if it had none), then forget that copy. The copy\n"
        "                  is kept under $XDG_DATA_HOME/tilecast/.\n"
        "\n"
        "Options:\n"
        "  --jid JID               The account (user@domain), instead of the stored one.\n"
        "  --password-file FILE    Read the password from the first line of FILE instead of the\n"
        "                          keychain. FILE must not be readable by group or others.\n"
        "  --server HOST[:PORT]    Connect there instead of the server found through DNS SRV.\n"
        "                          The certificate is still checked against the JID's domain.\n"
        "  --ca-file FILE          Also trust this certificate authority (PEM). FILE must not be\n"
        "                          writable by group or others.\n"
        "  -h, --help              Show this help.\n"
        "  --version               Show the version.\n"
        "\n"
        "TLS is required and certificates are always verified; there is no option to change that.\n"
        "\n"
        "Exit status: 0 on success (status: a service runs and is signed in); 1 on failure (status:\n"
        "no service, or not signed in); 2 on bad usage.\n");
}

struct Account
{
    XmppClient::Options options;
    QString server; // as given, for the settings file
};

// The account, the server and the authority from the options, else from the settings file.
bool resolveAccount(const QCommandLineParser& parser, const QString& jidArgument, Account* account,
                    QString* error)
{
    const std::optional<accountfiles::Settings> stored = accountfiles::loadSettings();
    QString jidText = jidArgument;
    if (jidText.isEmpty())
        jidText = parser.value(QStringLiteral("jid"));
    const bool fromSettings = jidText.isEmpty();
    if (fromSettings) {
        if (!stored) {
            *error = QStringLiteral("no account: run \"tilecast-xmpp login JID\" first, or give --jid");
            return false;
        }
        jidText = stored->jid;
    }
    const Outcome<QString> jid = accountfiles::normaliseJid(jidText);
    if (!jid) {
        *error = jid.failure();
        return false;
    }
    account->options.jid = jid.value();
    const bool sameAccount = stored && stored->jid == jid.value();

    account->server = parser.isSet(QStringLiteral("server")) ? parser.value(QStringLiteral("server"))
                      : sameAccount                          ? stored->server
                                                             : QString();
    if (!account->server.isEmpty() &&
        !accountfiles::parseServer(account->server, &account->options.host, &account->options.port)) {
        *error = QStringLiteral("--server: \"%1\" is not HOST or HOST:PORT").arg(account->server);
        return false;
    }
    QString caFile = parser.isSet(QStringLiteral("ca-file")) ? parser.value(QStringLiteral("ca-file"))
                     : sameAccount                           ? stored->caFile
                                                             : QString();
    if (!caFile.isEmpty()) {
        const Outcome<QString> checked = accountfiles::checkCaFile(caFile);
        if (!checked) {
            *error = checked.failure();
            return false;
        }
        caFile = checked.value();
    }
    account->options.caFile = caFile;
    return true;
}

std::optional<QString> askPassword(const QString& jid, QString* error)
{
    QByteArray line;
    if (::isatty(STDIN_FILENO)) {
        print(stderr, QStringLiteral("Password for %1: ").arg(jid));
        termios saved{};
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        char buffer[1024];
        if (std::fgets(buffer, sizeof buffer, stdin))
            line = buffer;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        print(stderr, QStringLiteral("\n"));
    } else {
        char buffer[1024];
        if (std::fgets(buffer, sizeof buffer, stdin))
            line = buffer;
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        *error = QStringLiteral("no password given");
        return std::nullopt;
    }
    return QString::fromUtf8(line);
}

// Ends the process at once when the connection's thread cannot be stopped (stuck inside
// libstrophe): returning would destroy what that thread still uses.
void stopOrLeave(XmppClient& client, int code)
{
    if (client.stop())
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

// Signs in once, without retrying; the problem (None when it worked) and its message.
XmppClient::Problem signInOnce(XmppClient& client, const XmppClient::Options& options, QString* message)
{
    XmppClient::Problem problem = XmppClient::Problem::Lost;
    *message = QStringLiteral("no answer from the server within 30 s");
    QEventLoop loop;
    QObject::connect(&client, &XmppClient::signedIn, &loop, [&] {
        problem = XmppClient::Problem::None;
        loop.quit();
    });
    QObject::connect(&client, &XmppClient::signedOut, &loop,
                     [&](XmppClient::Problem p, const QString& text, bool) {
                         problem = p;
                         *message = text;
                         loop.quit();
                     });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    client.start(options, false);
    loop.exec();
    return problem;
}

int login(const QCommandLineParser& parser, const QString& jidArgument)
{
    Account account;
    QString error;
    if (!resolveAccount(parser, jidArgument, &account, &error))
        return fail(error, cli::Usage);
    const bool fromFile = parser.isSet(QStringLiteral("password-file"));
    std::optional<QString> password;
    if (fromFile) {
        const Outcome<QString> read =
            accountfiles::readPasswordFile(parser.value(QStringLiteral("password-file")));
        if (!read)
            return fail(read.failure());
        password = read.value();
    } else {
        password = askPassword(account.options.jid, &error);
        if (!password)
            return fail(error);
    }
    account.options.password = *password;

    XmppClient client;
    QString message;
    const bool signedIn = signInOnce(client, account.options, &message) == XmppClient::Problem::None;
    stopOrLeave(client, signedIn ? cli::Ok : cli::Failed);
    if (!signedIn)
        return fail(QStringLiteral("cannot sign in as %1: %2").arg(account.options.jid, message));

    if (!fromFile && !keychain::writePassword(account.options.jid, *password, &error))
        return fail(error);
    if (const Status saved =
            accountfiles::saveSettings({account.options.jid, account.server, account.options.caFile});
        !saved)
        return fail(saved.failure());
    printLine(stdout, QStringLiteral("Signed in as %1. %2 the address in %3.")
                          .arg(account.options.jid,
                               fromFile ? QStringLiteral("Kept")
                                        : QStringLiteral("Kept the password in the keychain and"),
                               accountfiles::settingsPath()));
    return cli::Ok;
}

bool passwordFor(const QCommandLineParser& parser, Account* account, QString* error)
{
    if (parser.isSet(QStringLiteral("password-file"))) {
        const Outcome<QString> password =
            accountfiles::readPasswordFile(parser.value(QStringLiteral("password-file")));
        if (!password) {
            *error = password.failure();
            return false;
        }
        account->options.password = password.value();
        return true;
    }
    const std::optional<QString> password = keychain::readPassword(account->options.jid, error);
    if (!password)
        return false;
    account->options.password = *password;
    return true;
}

// Says on stdout and stderr what happens to the account and to each picture, for the log.
void reportEvents(QCoreApplication& app, XmppClient& client, AvatarPublisher& publisher,
                  BridgeService& service)
{
    auto lastProblem = std::make_shared<QString>();
    QObject::connect(&client, &XmppClient::signedIn, &app, [&client, &publisher, lastProblem] {
        publisher.signedIn();
        lastProblem->clear();
        // The bound address is the server's word: printed as text, never as lines of its own.
        printLine(stdout, QStringLiteral("tilecast-xmpp: signed in as %1 (%2)")
                              .arg(client.bareJid(), xmpptext::printable(client.boundJid())));
    });
    QObject::connect(&publisher, &AvatarPublisher::originalNotKept, &app, [&client](const QString& why) {
        fail(QStringLiteral("%1: the avatar the account had is not kept (%2), so \"tilecast-xmpp restore\" "
                            "cannot put it back")
                 .arg(client.bareJid(), why));
    });
    QObject::connect(
        &client, &XmppClient::signedOut, &app,
        [&client, lastProblem](XmppClient::Problem problem, const QString& message, bool willRetry) {
            if (client.isStopping())
                return;
            // Said once per cause, however many retries it takes.
            const QString line =
                problem == XmppClient::Problem::WrongPassword
                    ? QStringLiteral("%1: %2; not trying again").arg(client.bareJid(), message)
                    : QStringLiteral("%1: not signed in: %2%3")
                          .arg(client.bareJid(), message,
                               willRetry ? QStringLiteral("; trying again") : QString());
            if (line != *lastProblem)
                fail(line);
            *lastProblem = line;
        });
    QObject::connect(&service, &BridgeService::applied, &app,
                     [](const QString& path, const QString& hash, const QString& error) {
                         // The path is the caller's: one line in the log, whatever it holds.
                         const QString shown = xmpptext::printable(path, 1000);
                         if (error.isEmpty())
                             printLine(stdout,
                                       QStringLiteral("tilecast-xmpp: published %1 as %2").arg(shown, hash));
                         else
                             fail(QStringLiteral("cannot publish %1: %2").arg(shown, error));
                     });
}

int run(QCoreApplication& app, const QCommandLineParser& parser)
{
    Account account;
    QString error;
    if (!resolveAccount(parser, QString(), &account, &error))
        return fail(error, cli::Usage);

    // Refused before the keychain is asked for a password that would not be used.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const Outcome<bool> owned = contract::nameHasOwner(bus, contract::Service);
    if (!owned)
        return fail(owned.failure());
    if (owned.value())
        return fail(
            QStringLiteral("another messenger already owns %1 on the session bus").arg(contract::Service));
    if (!passwordFor(parser, &account, &error))
        return fail(error);

    XmppClient client;
    PictureThread pictures;
    AvatarPublisher publisher(&client, &pictures);
    BridgeService service(&client, &publisher, &pictures);
    if (const Status published = service.publish(bus); !published)
        return fail(published.failure());
    reportEvents(app, client, publisher, service);

    client.start(account.options, true);
    const int code = app.exec();
    bus.unregisterService(contract::Service);
    stopOrLeave(client, code);
    return code;
}

int restore(const QCommandLineParser& parser)
{
    Account account;
    QString error;
    if (!resolveAccount(parser, QString(), &account, &error))
        return fail(error, cli::Usage);
    const std::optional<accountfiles::SavedAvatar> saved = accountfiles::loadSavedAvatar(account.options.jid);
    if (!saved)
        return fail(
            QStringLiteral("no saved avatar of %1: Tilecast never changed it (or it was restored already)")
                .arg(account.options.jid));
    if (!passwordFor(parser, &account, &error))
        return fail(error);

    XmppClient client;
    QString message;
    if (signInOnce(client, account.options, &message) != XmppClient::Problem::None) {
        stopOrLeave(client, cli::Failed);
        return fail(QStringLiteral("cannot sign in as %1: %2").arg(account.options.jid, message));
    }
    PictureThread pictures;
    AvatarPublisher publisher(&client, &pictures);
    bool ok = false;
    bool finished = false;
    QEventLoop loop;
    // No caller is waiting: the server may take its time with a large picture.
    publisher.restore(
        [&](const Status& outcome) {
            ok = outcome.ok();
            error = outcome.failure();
            finished = true;
            loop.quit();
        },
        30000);
    if (!finished) // a copy that was not kept is reported at once
        loop.exec();
    stopOrLeave(client, ok ? cli::Ok : cli::Failed);
    if (!ok)
        return fail(QStringLiteral("cannot restore the avatar of %1: %2").arg(account.options.jid, error));
    printLine(stdout,
              saved->kind == accountfiles::SavedAvatar::Kind::Kept
                  ? QStringLiteral("Restored the avatar %1 had before.").arg(account.options.jid)
                  : QStringLiteral("Removed the avatar: %1 had none before.").arg(account.options.jid));
    return cli::Ok;
}

int logout(const QCommandLineParser& parser)
{
    QString error;
    const std::optional<accountfiles::Settings> stored = accountfiles::loadSettings();
    QString jid = parser.value(QStringLiteral("jid"));
    if (jid.isEmpty() && stored)
        jid = stored->jid;
    if (jid.isEmpty())
        return fail(QStringLiteral("no account is stored; nothing to forget"));
    const Outcome<QString> bare = accountfiles::normaliseJid(jid);
    if (!bare)
        return fail(bare.failure(), cli::Usage);
    if (const Status forgotten = accountfiles::forgetSettings(); !forgotten)
        return fail(forgotten.failure());
    if (!keychain::deletePassword(bare.value(), &error))
        return fail(error);
    printLine(stdout, QStringLiteral("Forgot the password and the address of %1.").arg(bare.value()));
    return cli::Ok;
}

int status()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const Outcome<bool> owned = contract::nameHasOwner(bus, contract::Service);
    if (!owned)
        return fail(owned.failure());
    if (!owned.value()) {
        printLine(stdout, QStringLiteral("not running: nothing owns %1").arg(contract::Service));
        return cli::Failed;
    }
    const uint pid = bus.interface()->servicePid(contract::Service).value();
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(contract::Service, contract::Path, contract::Interface,
                                                contract::MySigninName),
                 QDBus::Block, contract::CallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        printLine(stdout, QStringLiteral("running (pid %1), signed in as %2")
                              .arg(pid)
                              .arg(reply.arguments().first().toString()));
        return cli::Ok;
    }
    if (reply.errorName() == contract::error::NotSignedIn) {
        printLine(stdout, QStringLiteral("running (pid %1), not signed in").arg(pid));
        return cli::Failed;
    }
    printLine(stdout,
              QStringLiteral("running (pid %1), not answering: %2").arg(pid).arg(reply.errorMessage()));
    return cli::Failed;
}

// The options; an exit code when they are answered already (help, version, bad usage).
std::optional<int> parseOptions(const QCoreApplication& app, QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("jid"), QString(), QStringLiteral("JID")});
    parser.addOption({QStringLiteral("password-file"), QString(), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("server"), QString(), QStringLiteral("HOST[:PORT]")});
    parser.addOption({QStringLiteral("ca-file"), QString(), QStringLiteral("FILE")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({QStringLiteral("version"), QString()});
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText() + QStringLiteral(" (see tilecast-xmpp --help)"), cli::Usage);
    if (parser.isSet(QStringLiteral("help"))) {
        print(stdout, helpText());
        return cli::Ok;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        printLine(stdout, QStringLiteral("tilecast-xmpp %1").arg(app.applicationVersion()));
        return cli::Ok;
    }
    return std::nullopt;
}

int runCommand(QCoreApplication& app, const QCommandLineParser& parser)
{
    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0, QStringLiteral("run"));
    const bool known = command == QLatin1String("run") || command == QLatin1String("login") ||
                       command == QLatin1String("logout") || command == QLatin1String("status") ||
                       command == QLatin1String("restore");
    if (!known)
        return fail(QStringLiteral("unknown command \"%1\" (see tilecast-xmpp --help)").arg(command),
                    cli::Usage);
    // The command's own word, and an address for login.
    const int expected = command == QLatin1String("login") ? 2 : 1;
    if (words.size() != expected && !(command == QLatin1String("run") && words.isEmpty()))
        return fail(
            QStringLiteral("%1 takes %2 (see tilecast-xmpp --help)")
                .arg(command, expected == 2 ? QStringLiteral("one address") : QStringLiteral("no arguments")),
            cli::Usage);

    if (command == QLatin1String("run")) {
        quitOnTerminationSignals(&app);
        return run(app, parser);
    }
    if (command == QLatin1String("login"))
        return login(parser, words.at(1));
    if (command == QLatin1String("status"))
        return status();
    return command == QLatin1String("logout") ? logout(parser) : restore(parser);
}

} // namespace

int main(int argc, char* argv[])
{
    // The password is in this process's memory: no core dump of it, and no other process of
    // the user's may read that memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    // QImage works without a Gui application object, so no display or platform plugin is
    // loaded: the program runs the same on a desktop, over SSH and as a user service.
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tilecast-xmpp"));
    app.setApplicationVersion(QStringLiteral(TILECAST_XMPP_VERSION));

    QCommandLineParser parser;
    if (const std::optional<int> answered = parseOptions(app, parser))
        return *answered;
    // A reader that went away must not take the service down with it.
    std::signal(SIGPIPE, SIG_IGN);
    return runCommand(app, parser);
}
