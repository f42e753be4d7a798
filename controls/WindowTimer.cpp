// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/WindowTimer.h"

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr qint64 NsPerMs = 1000 * 1000;
constexpr qint64 NsPerSecond = 1000 * NsPerMs;

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * NsPerSecond + now.tv_nsec;
}

} // namespace

WindowTimer::WindowTimer(QObject* parent, const QString& name, int periodMs, bool enabled)
    : QObject(parent), m_period(periodMs), m_enabled(enabled)
{
    setObjectName(name);
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_expiry.setSocket(m_fd);
        connect(&m_expiry, &QSocketNotifier::activated, this, &WindowTimer::expired);
    }
    // A coarse timer may drift by 5 % of the period; a slide interval must not.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::tick);
    restart();
}

WindowTimer::~WindowTimer()
{
    if (m_fd >= 0) {
        m_expiry.setEnabled(false);
        close(m_fd);
    }
}

void WindowTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void WindowTimer::setPeriod(int periodMs)
{
    m_period = periodMs;
    restart();
}

void WindowTimer::setWaitsForArm(bool waits)
{
    m_waitsForArm = waits;
    restart();
}

void WindowTimer::arm()
{
    const bool wasCounting = counting();
    m_armed = true;
    if (!wasCounting)
        restart();
}

void WindowTimer::tick()
{
    if (m_waitsForArm) {
        m_armed = false;
        m_timer.stop();
    }
    Q_EMIT fired();
}

void WindowTimer::restart()
{
    if (m_fd < 0) {
        if (counting())
            m_timer.start(m_period);
        else
            m_timer.stop();
        return;
    }
    // Setting the timerfd also drops an expiry not yet read, so a count that was
    // stopped or started again never fires late.
    setDeadline(counting() ? monotonicNs() + m_period * NsPerMs : 0);
}

void WindowTimer::expired()
{
    std::uint64_t expiries = 0;
    if (read(m_fd, &expiries, sizeof expiries) != sizeof expiries || expiries == 0)
        return; // stopped or started again since the expiry was seen
    if (m_waitsForArm) {
        m_armed = false;
        setDeadline(0);
    } else {
        // As a precise QTimer does: the next tick one period after this one was due, or
        // one period from now when the event loop was held up past that.
        const qint64 now = monotonicNs();
        qint64 next = m_deadlineNs + m_period * NsPerMs;
        if (next <= now)
            next = now + m_period * NsPerMs;
        setDeadline(next);
    }
    Q_EMIT fired();
}

void WindowTimer::setDeadline(qint64 deadlineNs)
{
    m_deadlineNs = deadlineNs;
    itimerspec when{};
    when.it_value.tv_sec = time_t(deadlineNs / NsPerSecond);
    when.it_value.tv_nsec = long(deadlineNs % NsPerSecond);
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
    m_expiry.setEnabled(deadlineNs != 0);
}
