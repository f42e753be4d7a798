// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "controls/Look.h"
#include "controls/Twips.h"

Window::Window(const QString& name, int widthTwips, int heightTwips, Border border) : QWidget(nullptr)
{
    setObjectName(name);
    setAttribute(Qt::WA_DeleteOnClose);
    Qt::WindowFlags flags = Qt::Window;
    switch (border) {
    case Border::FixedSingle:
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
        break;
    case Border::ToolFixed:
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        break;
    case Border::None:
        flags |= Qt::FramelessWindowHint;
        break;
    }
    setWindowFlags(flags);
    setFixedSize(twips::toPixels(widthTwips), twips::toPixels(heightTwips));

    applyProgramLook(this);
    setAutoFillBackground(true);
    setMouseTracking(true);
}

void Window::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void Window::setMinimised(bool minimised)
{
    if (minimised)
        setWindowState((windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
    else
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Window::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT pointerMoved(PointerMove::from(event));
    QWidget::mouseMoveEvent(event);
}

void Window::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Q_EMIT windowStateChangedTo(windowState());
}

void Window::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Q_EMIT windowStateChangedTo(windowState());
}
