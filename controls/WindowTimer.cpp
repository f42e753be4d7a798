#include "controls/WindowTimer.h"

WindowTimer::WindowTimer(QObject* parent, const QString& name, int periodMs, bool enabled)
    : QObject(parent), m_period(periodMs), m_enabled(enabled)
{
    setObjectName(name);
    // A coarse timer may drift by 5 % of the period; a slide interval must not.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::fired);
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

void WindowTimer::restart()
{
    if (m_enabled && m_period > 0)
        m_timer.start(m_period);
    else
        m_timer.stop();
}
