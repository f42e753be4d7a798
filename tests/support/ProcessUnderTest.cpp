// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ProcessUnderTest.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace testsupport {

namespace {

// True while any process of the group is alive. Zombies do not count: an orphan's zombie
// stays until the machine's init reaps it, which may take a while.
bool groupAlive(qint64 pgid)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid pgrp ...": comm may hold spaces and parentheses.
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() < 3)
            continue;
        if (fields.at(2).toLongLong() == pgid && fields.at(0) != "Z" && fields.at(0) != "X")
            return true;
    }
    return false;
}

QString tail(const QByteArray& text, qsizetype max)
{
    if (text.size() <= max)
        return QString::fromLocal8Bit(text);
    return QStringLiteral("[... %1 bytes before this ...]\n").arg(text.size() - max) +
           QString::fromLocal8Bit(text.right(max));
}

} // namespace

ProcessUnderTest::ProcessUnderTest(QString program, QStringList arguments, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_arguments(std::move(arguments))
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProcessUnderTest::collect);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ProcessUnderTest::collect);
    connect(&m_process, &QProcess::finished, this, &ProcessUnderTest::collect);
}

ProcessUnderTest::~ProcessUnderTest()
{
    stop();
}

void ProcessUnderTest::setEnv(const QString& name, const QString& value)
{
    m_envChanges.insert(name, value);
}

void ProcessUnderTest::unsetEnv(const QString& name)
{
    m_envChanges.insert(name, std::nullopt);
}

void ProcessUnderTest::setWorkingDirectory(const QString& dir)
{
    m_process.setWorkingDirectory(dir);
}

bool ProcessUnderTest::start(int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (auto it = m_envChanges.cbegin(); it != m_envChanges.cend(); ++it) {
        if (it.value())
            env.insert(it.key(), *it.value());
        else
            env.remove(it.key());
    }
    m_process.setProcessEnvironment(env);
    m_process.setProgram(m_program);
    m_process.setArguments(m_arguments);
    // A session of its own makes the program a process group leader: stopping the group
    // also stops whatever it started, and terminal signals aimed at the test pass it by.
    m_process.setChildProcessModifier([] { ::setsid(); });
    m_clock.start();
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_startError = m_process.errorString();
        return false;
    }
    m_pid = m_process.processId();
    return true;
}

bool ProcessUnderTest::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

qint64 ProcessUnderTest::elapsedMs() const
{
    return m_clock.isValid() ? m_clock.elapsed() : -1;
}

void ProcessUnderTest::collect()
{
    const auto take = [this](QByteArray chunk, QByteArray& all, QByteArray& partial) {
        all += chunk;
        partial += chunk;
        qsizetype newline;
        while ((newline = partial.indexOf('\n')) >= 0) {
            QByteArray line = partial.left(newline);
            if (line.endsWith('\r'))
                line.chop(1);
            m_lines << QString::fromLocal8Bit(line);
            partial.remove(0, newline + 1);
        }
    };
    take(m_process.readAllStandardOutput(), m_stdout, m_partialOut);
    take(m_process.readAllStandardError(), m_stderr, m_partialErr);
}

std::optional<QString> ProcessUnderTest::findLine(const std::function<bool(const QString&)>& matches) const
{
    for (const QString& line : m_lines) {
        if (matches(line))
            return line;
    }
    return std::nullopt;
}

std::optional<QString> ProcessUnderTest::waitForMatch(const std::function<bool(const QString&)>& matches,
                                                      int timeoutMs)
{
    collect();
    std::optional<QString> found = findLine(matches);
    if (found || m_pid == 0)
        return found;
    (void)QTest::qWaitFor(
        [&] {
            collect();
            found = findLine(matches);
            return found.has_value() || !isRunning();
        },
        timeoutMs);
    if (!found) {
        // A program that just ended may still have its last words in the pipe.
        collect();
        found = findLine(matches);
    }
    return found;
}

std::optional<QString> ProcessUnderTest::waitForLine(const QString& line, int timeoutMs)
{
    return waitForMatch([&line](const QString& l) { return l == line; }, timeoutMs);
}

std::optional<QString> ProcessUnderTest::waitForLine(const QRegularExpression& pattern, int timeoutMs)
{
    return waitForMatch([&pattern](const QString& l) { return pattern.match(l).hasMatch(); }, timeoutMs);
}

bool ProcessUnderTest::waitForExit(int timeoutMs)
{
    if (m_pid == 0)
        return false;
    const bool ended = QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs);
    collect();
    return ended;
}

int ProcessUnderTest::exitCode() const
{
    return m_process.exitCode();
}

QProcess::ExitStatus ProcessUnderTest::exitStatus() const
{
    return m_process.exitStatus();
}

void ProcessUnderTest::write(const QByteArray& data)
{
    m_process.write(data);
    m_process.waitForBytesWritten(1000);
}

bool ProcessUnderTest::signal(int sig)
{
    return isRunning() && ::kill(static_cast<pid_t>(m_pid), sig) == 0;
}

void ProcessUnderTest::stop(int graceMs)
{
    if (m_pid == 0)
        return;
    const auto group = static_cast<pid_t>(-m_pid);
    if (groupAlive(m_pid)) {
        ::kill(group, SIGTERM);
        ::kill(group, SIGCONT); // a stopped process only sees the TERM once it runs again
        QElapsedTimer waited;
        waited.start();
        while (groupAlive(m_pid) && waited.elapsed() < graceMs) {
            m_process.waitForFinished(20);
            QTest::qSleep(10);
        }
        if (groupAlive(m_pid))
            ::kill(group, SIGKILL);
    }
    if (m_process.state() != QProcess::NotRunning)
        m_process.waitForFinished(2000);
    collect();
}

QString ProcessUnderTest::report() const
{
    QString text = QStringLiteral("program: %1 %2\n").arg(m_program, m_arguments.join(u' '));
    if (!m_startError.isEmpty())
        text += QStringLiteral("could not start: %1\n").arg(m_startError);
    else if (m_pid == 0)
        text += QStringLiteral("not started\n");
    else if (isRunning())
        text += QStringLiteral("running as pid %1 for %2 ms\n").arg(m_pid).arg(elapsedMs());
    else if (m_process.exitStatus() == QProcess::CrashExit)
        text += QStringLiteral("killed by signal %1\n").arg(m_process.exitCode());
    else
        text += QStringLiteral("exited with code %1\n").arg(m_process.exitCode());
    text += QStringLiteral("--- stdout ---\n") + tail(m_stdout, 6000);
    text += QStringLiteral("\n--- stderr ---\n") + tail(m_stderr, 6000) + u'\n';
    return text;
}

} // namespace testsupport
