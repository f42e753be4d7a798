// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>

#include <memory>

#include "contract/MessengerContract.h"
#include "support/ProcessUnderTest.h"
#include "tilecast-messenger/StandInControl.h"

// The real stand-in messenger (TILECAST_MESSENGER_BIN) on the test's session bus: the one
// way the tests start it and wait for it, call its control interface and read what it was
// sent. It runs in a process group of its own (see ProcessUnderTest), so a test that made
// it hang still stops it, and report() shows its output when something fails.
class StandInProcess
{
public:
    // Without a window (the default), or with one on Qt's offscreen platform, for tests
    // without a display that exercise the window too.
    enum class Window
    {
        None,
        Offscreen
    };

    ~StandInProcess() { stop(); }

    // Starts it and waits for its "ready" line, which it prints once it owns its name;
    // false when it ended first or did not get there in time.
    bool start(const QStringList& args = {}, Window window = Window::None)
    {
        stop();
        const QStringList noWindow =
            window == Window::None ? QStringList{QStringLiteral("--no-window")} : QStringList{};
        m_process = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_MESSENGER_BIN),
                                                                    noWindow + args);
        if (window == Window::Offscreen)
            m_process->setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return m_process->start() && m_process->waitForLine(QStringLiteral("ready"), 15000).has_value();
    }

    // Stops it, also when it was made to hang; what it printed stays readable.
    void stop()
    {
        if (m_process)
            m_process->stop();
    }

    bool isRunning() const { return m_process && m_process->isRunning(); }
    // Sends a signal to it (SIGSTOP makes it hang, SIGKILL makes it vanish).
    bool signal(int sig) const { return m_process && m_process->signal(sig); }
    // The process as last started: its exit, its output.
    testsupport::ProcessUnderTest& process() const { return *m_process; }
    QString report() const
    {
        return m_process ? m_process->report() : QStringLiteral("stand-in not started\n");
    }

    // Runs its command-line client (sign-in, sign-out, status) against the running one.
    static bool command(const QStringList& args)
    {
        return QProcess::execute(QStringLiteral(TILECAST_MESSENGER_BIN), args) == 0;
    }

    // A call of its control interface (sign-in, what it received, armed failures). Plain
    // messages: QDBusInterface keeps what it introspected for the life of the process, which
    // the leak checker of the sanitized run would report.
    static QDBusMessage control(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(contract::Service, contract::Path,
                                                           standin::ControlInterface, method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }

    // A property of its control interface (DisplayPicture, SignedIn, Account, ...).
    static QVariant property(const QString& name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(contract::Service, contract::Path,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get.setArguments({standin::ControlInterface, name});
        return QDBusConnection::sessionBus()
            .call(get, QDBus::Block, 5000)
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }

    // The paths it was sent, in order, accepted or not.
    static QStringList receivedPictures()
    {
        return control(QStringLiteral("ReceivedPictures")).arguments().value(0).toStringList();
    }

private:
    std::unique_ptr<testsupport::ProcessUnderTest> m_process;
};
