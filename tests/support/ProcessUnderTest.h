// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace testsupport {

// Runs the program under test as the leader of a process group of its own, so that
// everything it starts goes down with it: the destructor stops the whole group (TERM, a
// short grace period, then KILL). Output is collected while any of the wait functions
// (or any other event loop) runs, and report() puts it into failure messages.
//
// The child gets this process's environment, with QT_QPA_PLATFORM=xcb (a test may itself
// run offscreen, the program must still show real windows), plus whatever setEnv() and
// unsetEnv() say.
class ProcessUnderTest : public QObject
{
    Q_OBJECT
public:
    explicit ProcessUnderTest(QString program, QStringList arguments = {}, QObject* parent = nullptr);
    ~ProcessUnderTest() override;
    ProcessUnderTest(const ProcessUnderTest&) = delete;
    ProcessUnderTest& operator=(const ProcessUnderTest&) = delete;

    void setEnv(const QString& name, const QString& value);
    void unsetEnv(const QString& name);
    void setWorkingDirectory(const QString& dir);

    // Starts the program; false (with the reason in report()) if it could not be run.
    bool start(int timeoutMs = 5000);
    bool isRunning() const;
    qint64 pid() const { return m_pid; }
    // Milliseconds since start(); -1 before.
    qint64 elapsedMs() const;

    // Waits until a whole line of stdout or stderr equals `line` (or matches `pattern`),
    // looking at everything printed since the start. Returns the matching line.
    std::optional<QString> waitForLine(const QString& line, int timeoutMs);
    std::optional<QString> waitForLine(const QRegularExpression& pattern, int timeoutMs);
    // Waits until the program has exited; true if it did in time.
    bool waitForExit(int timeoutMs);
    int exitCode() const;
    QProcess::ExitStatus exitStatus() const;

    void write(const QByteArray& data);
    // Sends a signal to the program alone (e.g. SIGSTOP to make it hang).
    bool signal(int sig);
    // Stops the whole process group now, as the destructor would.
    void stop(int graceMs = 1000);

    QByteArray standardOutput() const { return m_stdout; }
    QByteArray standardError() const { return m_stderr; }
    // Command line, state, exit code and the collected output, for failure messages.
    QString report() const;

private:
    void collect();
    std::optional<QString> findLine(const std::function<bool(const QString&)>& matches) const;
    std::optional<QString> waitForMatch(const std::function<bool(const QString&)>& matches, int timeoutMs);

    QProcess m_process;
    QString m_program;
    QStringList m_arguments;
    QHash<QString, std::optional<QString>> m_envChanges;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QStringList m_lines;     // complete lines of both channels, in arrival order
    QByteArray m_partialOut; // unfinished last line of each channel
    QByteArray m_partialErr;
    QElapsedTimer m_clock;
    qint64 m_pid = 0;
    QString m_startError;
};

} // namespace testsupport
