// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

// A window timer: an enabled flag and a period in milliseconds. Enabling it,
// also when it is enabled already, starts a new count from zero; a disabled
// timer never fires, and neither does one whose period is 0.
class WindowTimer : public QObject
{
    Q_OBJECT
public:
    WindowTimer(QObject* parent, const QString& name, int periodMs, bool enabled);

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
    void restart();
    void tick();

    QTimer m_timer;
    int m_period;
    bool m_enabled;
    bool m_waitsForArm = false;
    bool m_armed = false;
};
