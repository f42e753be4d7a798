// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The D-Bus contract between Tilecast and a messenger program: the names that
// org.tilecast.Messenger.xml (beside this file) describes, spelled once for the
// client, every messenger program that implements it, and the tests.
namespace contract {

inline const QString Service = QStringLiteral("org.tilecast.Messenger");
inline const QString Path = QStringLiteral("/org/tilecast/Messenger");
inline const QString Interface = QStringLiteral("org.tilecast.Messenger");

inline const QString MySigninName = QStringLiteral("MySigninName");
inline const QString SetMyProperty = QStringLiteral("SetMyProperty");

// SetMyProperty's property number for the display picture's path
// (MCONTACTPROP_USERTILE_PATH); the only one there is.
constexpr int UserTilePath = 2;

// How long Tilecast waits for any answer: a messenger must answer well within it.
constexpr int CallTimeoutMs = 3000;

namespace error {
inline const QString NotSignedIn = QStringLiteral("org.tilecast.Messenger.Error.NotSignedIn");
inline const QString InvalidArgument = QStringLiteral("org.tilecast.Messenger.Error.InvalidArgument");
inline const QString Failed = QStringLiteral("org.tilecast.Messenger.Error.Failed");
} // namespace error

} // namespace contract
