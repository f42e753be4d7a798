// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include "controls/PointerMove.h"

// A top-level window with a fixed client area given in twips, a white
// background and a centred start position.
class Window : public QWidget
{
    Q_OBJECT
public:
    enum class Border
    {
        FixedSingle, // title bar with minimise and close, never resizable or maximisable
        ToolFixed,   // title bar with close only
        None,        // no frame, no title bar
    };

    Window(const QString& name, int widthTwips, int heightTwips, Border border);

    void centreOnScreen();
    // The state the window is in, as far as the program knows it (see keepsAskedState()).
    Qt::WindowStates state() const;
    bool isMinimised() const { return state().testFlag(Qt::WindowMinimized); }
    void setMinimised(bool minimised);

    // Wayland's xdg-shell lets a window ask to be minimised but never says that it is, and
    // Qt takes the next configure for a restore. There the window keeps the state it asked
    // for until the program restores it or the desktop activates it again. X11 reports the
    // state itself. Set from the platform; tests may set it to play the other one.
    static bool platformReportsMinimised();
    bool keepsAskedState() const { return m_keepsAskedState; }
    void setKeepsAskedState(bool keep) { m_keepsAskedState = keep; }

Q_SIGNALS:
    void pointerMoved(const PointerMove& move);
    // Shown, minimised or restored.
    void windowStateChangedTo(Qt::WindowStates state);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void followPlatformRequest(Qt::WindowState requested);
    // A minimised window that the desktop cannot be asked to bring back is shown anew.
    void showAgain();

    Border m_border;
    bool m_keepsAskedState = !platformReportsMinimised();
    bool m_askedMinimised = false;
    bool m_watchingPlatformWindow = false;
};
