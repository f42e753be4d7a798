// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Fonts.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

namespace {

const QLatin1String tahoma("Tahoma");

void loadWineTahoma()
{
    static bool tried = false;
    if (tried || QFontDatabase::hasFamily(tahoma))
        return;
    tried = true;
    // Wine's Tahoma is not in fontconfig's folders; load it for this process only.
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        const QString path = QString::fromLatin1(file);
        if (QFile::exists(path))
            QFontDatabase::addApplicationFont(path);
    }
}

} // namespace

QFont programFont()
{
    loadWineTahoma();
    QFont font;
    font.setFamilies({tahoma, QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    // 8.25 pt at 96 dpi; the layouts are in pixels at 96 dpi, so the font is too,
    // and a desktop's dpi or font size setting leaves it alone.
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    font.setUnderline(false);
    font.setOverline(false);
    font.setStrikeOut(false);
    font.setFixedPitch(false);
    font.setKerning(true);
    font.setStretch(QFont::Unstretched);
    font.setCapitalization(QFont::MixedCase);
    font.setLetterSpacing(QFont::PercentageSpacing, 100);
    font.setWordSpacing(0);
    font.setStyleStrategy(QFont::PreferDefault);
    font.setHintingPreference(QFont::PreferDefaultHinting);
    return font;
}

void useProgramFont(QApplication& app)
{
    app.setFont(programFont());
}
