// SPDX-License-Identifier: GPL-3.0-or-later
#include "contract/CommandLine.h"

#include <QCoreApplication>

namespace cli {

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void printLine(std::FILE* stream, const QString& line)
{
    print(stream, line + QLatin1Char('\n'));
}

int fail(const QString& message, int code)
{
    printLine(stderr, QStringLiteral("%1: %2").arg(QCoreApplication::applicationName(), message));
    return code;
}

} // namespace cli
