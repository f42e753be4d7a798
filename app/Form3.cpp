// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form3.h"

#include "controls/Colours.h"
#include "resources/Artwork.h"

Form3::Form3() : Window(QStringLiteral("Form3"), 4860, 2085, Border::None)
{
    // Not shown in a title bar, but it names the window for the desktop and screen readers.
    setWindowTitle(QStringLiteral("Tilecast"));
    setWindowIcon(artwork::programIcon());

    Image1 = new Picture(this, QStringLiteral("Image1"), artwork::splash(), {0, 0, 4860, 2085});
    LabelStyle status;
    status.color = colours::midGrey;
    Label1 = new Label(this, QStringLiteral("Label1"), QStringLiteral("Loading Tilecast..."),
                       {240, 1680, 3735, 255}, status);
    LabelStyle notice;
    notice.color = colours::alertRed;
    notice.autoSize = true;
    Label2 = new Label(this, QStringLiteral("Label2"), QStringLiteral("Exiting Tilecast."),
                       {2400, 120, 2310, 195}, notice);
    Label2->hide();
    Text1 = new TextField(this, QStringLiteral("Text1"), QString(), {4080, 3720, 1215, 285});
    makeHiddenStorage(Text1);
    Timer1 = new WindowTimer(this, QStringLiteral("Timer1"), 2000, true);
    Timer2 = new WindowTimer(this, QStringLiteral("Timer2"), 2000, false);
    centreOnScreen();
}
