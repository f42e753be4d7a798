// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

// A window timer: an enabled flag and a period in milliseconds. Enabling it,
// also when it is enabled already, starts a new count from zero; a disabled
// timer never fires, and neither does one whose period is 0.
class WindowTimer : public QObject
{
    Q_OBJECT
public:
    WindowTimer(QObject* parent, const QString& name, int periodMs, bool enabled);
    ~WindowTimer() override;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int period() const { return m_period; }
    // Periods are 32-bit signed millisecond counts; negative ones act like 0.
    void setPeriod(int periodMs);

    // For a timer whose tick can only matter after something changed: while waiting for
    // arm(), an enabled timer does not count; once armed it fires one period later (or
    // when enabled again) and then waits for the next arm(). Arming a timer that is
    // already counting changes nothing, so a burst of changes still gets its tick on time.
    // isEnabled() and period() are unaffected: only the wake-ups in between are saved.
    void setWaitsForArm(bool waits);
    void arm();

Q_SIGNALS:
    void fired();

private:
    bool counting() const { return m_enabled && m_period > 0 && (m_armed || !m_waitsForArm); }
    void restart();
    void tick();
    void expired();
    void setDeadline(qint64 deadlineNs);

    // The count runs on a timerfd: the event loop rounds every wait of its own timers up
    // to a whole millisecond, which would put that much on every slide interval. A
    // QTimer stands in if no timerfd can be had (a process out of file descriptors).
    int m_fd = -1;
    QSocketNotifier m_expiry{QSocketNotifier::Read};
    qint64 m_deadlineNs = 0; // on CLOCK_MONOTONIC, while counting
    QTimer m_timer;
    int m_period;
    bool m_enabled;
    bool m_waitsForArm = false;
    bool m_armed = false;
};
