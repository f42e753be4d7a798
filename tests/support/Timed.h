// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>

#include <functional>

// How long an action took, in milliseconds: for figures a test prints, never for a verdict,
// since the machine may be shared.
inline qint64 timed(const std::function<void()>& action)
{
    QElapsedTimer clock;
    clock.start();
    action();
    return clock.elapsed();
}
