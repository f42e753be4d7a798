// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <memory>

#include "contract/MessengerContract.h"
#include "tilecast-messenger/StandInControl.h"

// The real stand-in messenger (TILECAST_MESSENGER_BIN) on the test's session
// bus, without a window, for tests that run under their own private bus.
class StandInProcess
{
public:
    ~StandInProcess() { stop(); }

    // Starts it and waits until it owns its name; true when it does.
    bool start(const QStringList& args = {})
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process->start(QStringLiteral(TILECAST_MESSENGER_BIN),
                         QStringList{QStringLiteral("--no-window")} + args);
        QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!deadline.hasExpired() && !out.contains("ready\n")) {
            m_process->waitForReadyRead(100);
            out += m_process->readAllStandardOutput();
        }
        return out.contains("ready\n");
    }

    // Stops it, also when it was made to hang.
    void stop()
    {
        if (!m_process)
            return;
        signal(SIGCONT);
        m_process->terminate();
        if (!m_process->waitForFinished(5000))
            m_process->kill();
        m_process.reset();
    }

    // A call of the stand-in's control interface (sign-in, what it received, armed failures).
    static QDBusMessage control(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(contract::Service, contract::Path,
                                                           standin::ControlInterface, method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }

    // The paths it was sent, in order, accepted or not.
    static QStringList receivedPictures()
    {
        return control(QStringLiteral("ReceivedPictures")).arguments().value(0).toStringList();
    }

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    void signal(int sig) const
    {
        if (m_process)
            ::kill(static_cast<pid_t>(m_process->processId()), sig);
    }

private:
    std::unique_ptr<QProcess> m_process;
};
