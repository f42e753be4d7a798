// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The stand-in's own interface beside the contract (org.tilecast.MessengerControl.xml):
// signing in and out, and what it received. For its command line, the demo and tests.
namespace standin {
inline const QString ControlInterface = QStringLiteral("org.tilecast.MessengerControl");
} // namespace standin
