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

Q_SIGNALS:
    void fired();

private:
    void restart();

    QTimer m_timer;
    int m_period;
    bool m_enabled;
};
