// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Form1.h"

#include <QDir>

#include "controls/Colours.h"
#include "resources/Artwork.h"

namespace {

QString slotFieldName(int k)
{
    // Slots 1 to 6 are Text2..Text7, slots 7 to 20 are Text11..Text24.
    return QStringLiteral("Text%1").arg(k <= 6 ? k + 1 : k + 4);
}

QString slideTimerName(int k)
{
    // Positions 1 to 6 are Timer1..Timer6, 7 to 20 are Timer8..Timer21.
    return QStringLiteral("Timer%1").arg(k <= 6 ? k : k + 1);
}

LabelStyle panelLabel()
{
    LabelStyle style;
    style.color = colours::darkGrey;
    return style;
}

LabelStyle listCaption()
{
    LabelStyle style;
    style.color = colours::linkBlue;
    style.underline = true;
    style.autoSize = true;
    style.actsAsLink = true;
    return style;
}

LabelStyle bannerCaption()
{
    LabelStyle style;
    style.color = colours::midGrey;
    style.alignment = Qt::AlignHCenter | Qt::AlignTop;
    style.actsAsLink = true;
    return style;
}

} // namespace

Form1::Form1() : Window(QStringLiteral("Form1"), 8430, 7530, Border::FixedSingle)
{
    setWindowTitle(QStringLiteral("Tilecast"));
    setWindowIcon(artwork::programIcon());

    buildBanner();
    buildStatusPanel();
    buildEditingPanel();
    buildBottomRow();
    buildHiddenStorage();
    setKeyboardOrder();
    centreOnScreen();
}

void Form1::buildBanner()
{
    Image1 = new Picture(this, QStringLiteral("Image1"), artwork::banner(), {0, 0, 8430, 1320});
    Label10 = new Label(this, QStringLiteral("Label10"), QStringLiteral("Enlarge File List"),
                        {120, 960, 1110, 195}, listCaption());
    Label13 = new Label(this, QStringLiteral("Label13"), QStringLiteral("Enlarge Directory List"),
                        {1440, 960, 1530, 195}, listCaption());
    Label16 = new Label(this, QStringLiteral("Label16"), QStringLiteral("Return To Normal"),
                        {7080, 960, 1260, 195}, listCaption());
    Label11 = new Label(this, QStringLiteral("Label11"), QStringLiteral("View Program Information"),
                        {5880, 360, 1065, 495}, bannerCaption());
    Label19 = new Label(this, QStringLiteral("Label19"), QStringLiteral("Exit Application"),
                        {7080, 360, 1065, 495}, bannerCaption());
}

void Form1::buildStatusPanel()
{
    Frame1 = new Frame(this, QStringLiteral("Frame1"), {120, 1440, 8295, 2175}, colours::white);
    Image2 = new Picture(Frame1, QStringLiteral("Image2"), artwork::statusPanel(), {0, 0, 8145, 2145});
    Label2 = new Label(Frame1, QStringLiteral("Label2"), QStringLiteral("Program Is Currently Not Active"),
                       {1920, 210, 5295, 255}, panelLabel());
    Label1 = new Label(Frame1, QStringLiteral("Label1"), QStringLiteral("Current Display Picture"),
                       {600, 760, 1815, 255}, panelLabel());
    Label6 = new Label(Frame1, QStringLiteral("Label6"), QStringLiteral("Not Available"),
                       {3360, 765, 4695, 255}, panelLabel());
    Label3 = new Label(Frame1, QStringLiteral("Label3"), QStringLiteral("My Signin Name"),
                       {600, 1000, 1815, 255}, panelLabel());
    Label7 = new Label(Frame1, QStringLiteral("Label7"), QString(), {3360, 1005, 4695, 255}, panelLabel());
    Label4 = new Label(Frame1, QStringLiteral("Label4"), QStringLiteral("Last Change"),
                       {600, 1400, 1815, 255}, panelLabel());
    Label8 = new Label(Frame1, QStringLiteral("Label8"), QStringLiteral("Not Available"),
                       {3360, 1395, 4695, 255}, panelLabel());
    Label5 = new Label(Frame1, QStringLiteral("Label5"), QStringLiteral("Interval Set At"),
                       {600, 1640, 2055, 255}, panelLabel());
    Label9 = new Label(Frame1, QStringLiteral("Label9"), QStringLiteral("0"), {3360, 1620, 4695, 255},
                       panelLabel());
}

void Form1::buildEditingPanel()
{
    Frame2 = new Frame(this, QStringLiteral("Frame2"), {120, 3600, 8295, 3255}, colours::white);
    Image5 = new Picture(Frame2, QStringLiteral("Image5"), artwork::editingPanel(), {0, 0, 8145, 3300});
    Label17 = new Label(Frame2, QStringLiteral("Label17"), QString(), {1920, 210, 6015, 255}, panelLabel());

    const QString here = QDir::currentPath();
    Dir1 = new FolderList(Frame2, QStringLiteral("Dir1"), {240, 720, 3615, 990}, here,
                          {artwork::folderIcon(true), artwork::folderIcon(false)});
    Dir1->setAccessibleName(QStringLiteral("Folders"));
    File1 = new FileList(Frame2, QStringLiteral("File1"), {240, 1800, 3615, 1260}, here, FilePattern);
    File1->setAccessibleName(QStringLiteral("Files"));

    LabelStyle heading = panelLabel();
    heading.underline = true;
    Label15 = new Label(Frame2, QStringLiteral("Label15"), QStringLiteral("Images In Slide Show:"),
                        {3960, 720, 3615, 255}, heading);
    LabelStyle count = panelLabel();
    count.bold = true;
    count.alignment = Qt::AlignHCenter | Qt::AlignTop;
    Label23 = new Label(Frame2, QStringLiteral("Label23"), QStringLiteral("0"), {5640, 720, 330, 195}, count);
    Label23->setAccessibleDescription(QStringLiteral("Number of images in the slide show"));

    List1 = new ListBox(Frame2, QStringLiteral("List1"), {3960, 960, 3615, 840});
    List1->setAccessibleName(QStringLiteral("Images In Slide Show:"));
    QPalette listPalette = List1->palette();
    listPalette.setColor(QPalette::Active, QPalette::Text, colours::darkGrey);
    listPalette.setColor(QPalette::Inactive, QPalette::Text, colours::darkGrey);
    List1->setPalette(listPalette);

    Label14 = new Label(Frame2, QStringLiteral("Label14"), QStringLiteral("Interval Settings:"),
                        {3960, 1920, 1455, 255}, heading);
    Command6 = new Button(Frame2, QStringLiteral("Command6"), QStringLiteral("<<"), {4200, 2280, 375, 255});
    Command6->setAccessibleDescription(QStringLiteral("Interval down ten seconds"));
    Command6->setEnabled(false);
    Command4 = new Button(Frame2, QStringLiteral("Command4"), QStringLiteral("<"), {4560, 2280, 375, 255});
    Command4->setAccessibleDescription(QStringLiteral("Interval down one second"));
    Text1 = new TextField(Frame2, QStringLiteral("Text1"), QStringLiteral("1000"), {5040, 2280, 1695, 255},
                          Qt::AlignHCenter);
    Text1->setAccessibleName(QStringLiteral("Interval in milliseconds"));
    Text1->setEnabled(false);
    Command3 = new Button(Frame2, QStringLiteral("Command3"), QStringLiteral(">"), {6840, 2280, 375, 255});
    Command3->setAccessibleDescription(QStringLiteral("Interval up one second"));
    Command5 = new Button(Frame2, QStringLiteral("Command5"), QStringLiteral(">>"), {7200, 2280, 375, 255});
    Command5->setAccessibleDescription(QStringLiteral("Interval up ten seconds"));
    Label22 = new Label(Frame2, QStringLiteral("Label22"), QStringLiteral("Interval Chosen In Seconds:"),
                        {4200, 2655, 2055, 255}, panelLabel());
    Text10 = new TextField(Frame2, QStringLiteral("Text10"), QStringLiteral("1"), {6360, 2640, 1215, 255},
                           Qt::AlignHCenter);
    Text10->setAccessibleName(QStringLiteral("Interval Chosen In Seconds:"));
    Text10->setEnabled(false);
    LabelStyle note;
    note.color = colours::midGrey;
    note.italic = true;
    note.autoSize = true;
    Label21 = new Label(Frame2, QStringLiteral("Label21"), QStringLiteral("min = 1 second."),
                        {4200, 2880, 1155, 195}, note);
}

void Form1::buildBottomRow()
{
    Line1 = new Line(this, QStringLiteral("Line1"), 0, 6960, 8400, 6960, colours::ruleGrey);
    Image3 = new Picture(this, QStringLiteral("Image3"), artwork::bottomStrip(), {0, 7080, 3840, 465});
    Command7 = new Button(this, QStringLiteral("Command7"), QStringLiteral("New Slide Show"),
                          {3960, 7080, 1335, 375});
    Command7->setEnabled(false);
    Line2 = new Line(this, QStringLiteral("Line2"), 5400, 7080, 5400, 7440, colours::ruleGrey);
    Command1 =
        new Button(this, QStringLiteral("Command1"), QStringLiteral("Deactivate"), {5520, 7080, 1335, 375});
    Command1->setEnabled(false);
    Command2 =
        new Button(this, QStringLiteral("Command2"), QStringLiteral("Activate!"), {6960, 7080, 1335, 375});
    Command2->setEnabled(false);
}

void Form1::buildHiddenStorage()
{
    Frame4 = new Frame(this, QStringLiteral("Frame4"), {9600, 120, 4575, 6735});
    makeHiddenStorage(Frame4);
    for (int k = 1; k <= SlotCount; ++k) {
        auto* field = new TextField(Frame4, slotFieldName(k), QString(), {0, 240 * (k - 1), 3615, 285});
        field->setEnabled(k == 1);
        makeHiddenStorage(field);
        m_slots[static_cast<size_t>(k - 1)] = field;
    }

    Frame3 = new Frame(this, QStringLiteral("Frame3"), {5520, 8400, 8295, 2175}, colours::white);
    makeHiddenStorage(Frame3);
    for (int k = 1; k <= SlotCount; ++k)
        m_slideTimers[static_cast<size_t>(k - 1)] =
            new WindowTimer(Frame3, slideTimerName(k), k == 1 ? 100 : 0, false);

    auto hiddenField = [](QWidget* parent, const char* name, int left, int top) {
        auto* field = new TextField(parent, QString::fromLatin1(name), QString(), {left, top, 1215, 285});
        field->setEnabled(false);
        makeHiddenStorage(field);
        return field;
    };
    Text8 = hiddenField(this, "Text8", 8880, 120);
    Text9 = hiddenField(this, "Text9", 8880, 960);
    Text25 = hiddenField(this, "Text25", 6240, 7920);
    Frame5 = new Frame(this, QStringLiteral("Frame5"), {360, 8160, 3255, 735});
    makeHiddenStorage(Frame5);
    Text26 = hiddenField(Frame5, "Text26", 120, 360);

    LabelStyle opaque;
    opaque.opaque = true;
    Label12 = new Label(this, QStringLiteral("Label12"), QStringLiteral("Label12"), {4080, 8760, 1215, 255},
                        opaque);
    makeHiddenStorage(Label12);

    Timer7 = new WindowTimer(this, QStringLiteral("Timer7"), 1000, true);
    Timer22 = new WindowTimer(this, QStringLiteral("Timer22"), 100, true);
    Timer23 = new WindowTimer(this, QStringLiteral("Timer23"), 100, true);

    trayIcon = new TrayIcon(this);
}

void Form1::setKeyboardOrder()
{
    // Disabled controls drop out of the chain by themselves; hidden storage is
    // never part of it.
    QWidget* const order[] = {File1,    Command1, Command2, List1,    Dir1,
                              Command4, Command3, Command5, Command6, Command7};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text10->setFocusPolicy(Qt::NoFocus);
    File1->setFocus();
}
