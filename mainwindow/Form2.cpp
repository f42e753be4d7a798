// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Form2.h"

#include "controls/Colours.h"
#include "resources/Artwork.h"

Form2::Form2() : Window(QStringLiteral("Form2"), 5130, 4395, Border::ToolFixed)
{
    setWindowTitle(QStringLiteral("Program Information"));
    setWindowIcon(artwork::aboutIcon());

    // Placed 72 pixels above the top edge: only the middle of the strip shows.
    Image1 = new Picture(this, QStringLiteral("Image1"), artwork::aboutStrip(), {0, -1080, 960, 5580});
    Image2 = new Picture(this, QStringLiteral("Image2"), artwork::aboutPanel(), {960, 0, 4170, 4410});

    LabelStyle text;
    text.color = colours::midGrey;
    auto label = [this, &text](const char* name, const QString& caption, const twips::Rect& rect) {
        return new Label(this, QString::fromLatin1(name), caption, rect, text);
    };
    Label1 = label("Label1", QStringLiteral("Tilecast"), {1200, 720, 1935, 255});
    Label2 = label("Label2", QStringLiteral("Version: 1.2 (1.2.0.9)"), {1200, 960, 1935, 255});
    Label3 = label("Label3", QStringLiteral("By Halvane"), {1200, 1320, 1935, 255});
    text.underline = true;
    Label5 = label("Label5", QStringLiteral("tilecast@example.org"), {1200, 1560, 2295, 255});
    text.underline = false;
    Label4 = label("Label4", QStringLiteral("Organization: Quorvik"), {1200, 1800, 1935, 255});
    Label6 =
        label("Label6",
              QStringLiteral("This application is designed for the use with MSN Messenger only and cannot be "
                             "used with or for anything else."),
              {1200, 2160, 3615, 615});
    Label7 = label(
        "Label7",
        QStringLiteral("The application design and production was compiled by Halvane. This application "
                       "is free of spyware. The only files you will receive are tilecst.exe and a "
                       "readme.txt file."),
        {1200, 2880, 3615, 975});
    centreOnScreen();
}
