// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdio>

// What the messenger programs' command lines share: their exit codes and how they speak.
// Messages start with the application's name (QCoreApplication::setApplicationName, which
// works before the application object exists).
namespace cli {

enum Exit
{
    Ok = 0,
    Failed = 1, // refused, not reachable, or not signed in
    Usage = 2,
};

// Writes `text` as it is, in the locale's encoding, and flushes it: whoever reads our
// output (a terminal, a test, a launcher's log) sees each part as it is said.
void print(std::FILE* stream, const QString& text);
// `line` and a line break.
void printLine(std::FILE* stream, const QString& line);
// "program: message" on stderr; returns `code`, for `return cli::fail(...)`.
int fail(const QString& message, int code = Failed);

} // namespace cli
