// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Form5.h"

#include "controls/Colours.h"
#include "resources/Artwork.h"

Form5::Form5() : Window(QStringLiteral("Form5"), 4860, 2085, Border::None)
{
    setWindowTitle(QStringLiteral("Tilecast"));
    Image1 = new Picture(this, QStringLiteral("Image1"), artwork::updateNotice(), {0, 0, 4860, 2085});
    LabelStyle text;
    text.color = colours::midGrey;
    Label1 =
        new Label(this, QStringLiteral("Label1"),
                  QStringLiteral("A newer version of Tilecast is available. Download will start in a few "
                                 "seconds..."),
                  {240, 1440, 4335, 375}, text);
    Timer1 = new WindowTimer(this, QStringLiteral("Timer1"), 5000, false);
    centreOnScreen();
}
