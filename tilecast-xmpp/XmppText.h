// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Text that crosses between XMPP and this program.
namespace xmpptext {

// `text` as an XML attribute value or element text.
inline QString escaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&apos;"));
}

// What a server or another client said, made safe for a one-line log message: control
// characters become '?', and it is cut at `maxChars`.
inline QString printable(const QString& text, int maxChars = 200)
{
    QString out = text.left(maxChars);
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    if (text.size() > maxChars)
        out += QStringLiteral("…");
    return out;
}

} // namespace xmpptext
