// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QString>

#include "platform/Outcome.h"

namespace contract {

// Whether a program owns `name` on `bus`, asked of the bus itself within the contract's
// time-out (never the bus's default 25 s). Fails when there is no bus or it does not answer.
Outcome<bool> nameHasOwner(const QDBusConnection& bus, const QString& name);

} // namespace contract
