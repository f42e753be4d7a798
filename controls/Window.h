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
    bool isMinimised() const { return windowState().testFlag(Qt::WindowMinimized); }
    void setMinimised(bool minimised);

Q_SIGNALS:
    void pointerMoved(const PointerMove& move);
    // Shown, minimised or restored.
    void windowStateChangedTo(Qt::WindowStates state);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
