// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// The account's password in the desktop's Secret Service (GNOME Keyring, KWallet,
// KeePassXC ...) through QtKeychain, never in a file of ours. Each call waits for the
// keychain, which may ask the user to unlock it.
namespace keychain {

std::optional<QString> readPassword(const QString& bareJid, QString* error);
bool writePassword(const QString& bareJid, const QString& password, QString* error);
// True also when there was nothing to delete.
bool deletePassword(const QString& bareJid, QString* error);

} // namespace keychain
