// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "controls/Controls.h"
#include "controls/FileList.h"
#include "controls/FolderList.h"
#include "controls/TrayIcon.h"
#include "controls/Window.h"
#include "controls/WindowTimer.h"

// The main window, which is also the program's whole state: the slide show,
// the interval, the status and a few flags are held in its controls. Controls
// outside the 8430 x 7530 twips client area are hidden storage, never drawn
// and never focusable. Members bear the controls' names; handlers live with
// their subsystems and work on these controls directly.
class Form1 : public Window
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 20;
    static inline const QString FilePattern = QStringLiteral("*.gif;*.jpg;*.bmp*");

    Form1();

    // Slot k (1..20) holds one image's full path, empty when free.
    TextField* slot(int k) const { return m_slots.at(static_cast<size_t>(k - 1)); }
    // The ring timer of position k (1..20).
    WindowTimer* slideTimer(int k) const { return m_slideTimers.at(static_cast<size_t>(k - 1)); }

    // Banner
    Picture* Image1;
    Label* Label10;
    Label* Label13;
    Label* Label16;
    Label* Label11;
    Label* Label19;

    // Status panel
    Frame* Frame1;
    Picture* Image2;
    Label* Label2;
    Label* Label1;
    Label* Label6;
    Label* Label3;
    Label* Label7;
    Label* Label4;
    Label* Label8;
    Label* Label5;
    Label* Label9;

    // Editing panel
    Frame* Frame2;
    Picture* Image5;
    Label* Label17;
    FolderList* Dir1;
    FileList* File1;
    Label* Label15;
    Label* Label23;
    ListBox* List1;
    Label* Label14;
    Button* Command6;
    Button* Command4;
    TextField* Text1;
    Button* Command3;
    Button* Command5;
    Label* Label22;
    TextField* Text10;
    Label* Label21;

    // Bottom row
    Line* Line1;
    Picture* Image3;
    Button* Command7;
    Line* Line2;
    Button* Command1;
    Button* Command2;

    // Hidden storage
    Frame* Frame4;
    Frame* Frame3;
    TextField* Text8;
    TextField* Text9;
    TextField* Text25;
    Frame* Frame5;
    TextField* Text26;
    Label* Label12;
    WindowTimer* Timer7;
    WindowTimer* Timer22;
    WindowTimer* Timer23;

    // The notification-area icon's record, empty until the load fills it, and
    // the icon itself (present only while the window is handed to the tray).
    IconRecord iconRecord;
    TrayIcon* trayIcon;

private:
    void buildBanner();
    void buildStatusPanel();
    void buildEditingPanel();
    void buildBottomRow();
    void buildHiddenStorage();
    void setKeyboardOrder();

    std::array<TextField*, SlotCount> m_slots{};
    std::array<WindowTimer*, SlotCount> m_slideTimers{};
};
