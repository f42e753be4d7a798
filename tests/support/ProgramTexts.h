// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Texts of the program that the tests look for, spelled here once and not taken from the
// program's code, so that a changed text fails a test.
namespace testsupport {

// The main window's error line for a picture that did not reach the messenger (typo and all).
inline const QString ErrorLine =
    QStringLiteral("An error has occured. Please fill in all fields in DP area.");

} // namespace testsupport
