// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Fonts.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>

namespace {
const QLatin1String tahoma("Tahoma");
}

void useProgramFont(QApplication& app)
{
    if (!QFontDatabase::hasFamily(tahoma)) {
        // Wine's Tahoma is not in fontconfig's folders; load it for this process only.
        for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            const QString path = QString::fromLatin1(file);
            if (QFile::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
    }
    QFont font;
    font.setFamilies({tahoma, QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    // 8.25 pt at 96 dpi; the layouts are in pixels at 96 dpi, so the font is too.
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
}
