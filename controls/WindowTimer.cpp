// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/WindowTimer.h"

WindowTimer::WindowTimer(QObject* parent, const QString& name, int periodMs, bool enabled)
    : QObject(parent), m_period(periodMs), m_enabled(enabled)
{
    setObjectName(name);
    // A coarse timer may drift by 5 % of the period; a slide interval must not.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::tick);
    restart();
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
    m_armed = true;
    if (!m_timer.isActive())
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
    if (m_enabled && m_period > 0 && (m_armed || !m_waitsForArm))
        m_timer.start(m_period);
    else
        m_timer.stop();
}
