// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include "controls/Look.h"
#include "controls/Twips.h"

Window::Window(const QString& name, int widthTwips, int heightTwips, Border border)
    : QWidget(nullptr), m_border(border)
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

bool Window::platformReportsMinimised()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

Qt::WindowStates Window::state() const
{
    return m_askedMinimised ? windowState() | Qt::WindowMinimized : windowState();
}

void Window::setMinimised(bool minimised)
{
    if (minimised) {
        m_askedMinimised = m_keepsAskedState;
        setWindowState((windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
        return;
    }
    const bool kept = m_askedMinimised;
    m_askedMinimised = false;
    if (kept)
        showAgain();
    else
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Window::showAgain()
{
    // Wayland has no request to leave the minimised state; a window mapped anew is normal.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (!isVisible())
        return;
    hide();
    show();
    raise();
    activateWindow();
}

void Window::followPlatformRequest(Qt::WindowState requested)
{
    // Qt's own title bar on Wayland minimises the platform window directly, past
    // setWindowState(), and what Wayland reports next says nothing about it.
    if (requested != Qt::WindowMinimized || !m_keepsAskedState || m_askedMinimised)
        return;
    if (m_border != Border::FixedSingle) {
        // That title bar offers minimise on every window; these have no such button.
        QMetaObject::invokeMethod(this, &Window::showAgain, Qt::QueuedConnection);
        return;
    }
    m_askedMinimised = true;
    Q_EMIT windowStateChangedTo(state());
}

void Window::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT pointerMoved(PointerMove::from(event));
    QWidget::mouseMoveEvent(event);
}

void Window::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        constexpr Qt::WindowStates enlarged = Qt::WindowMaximized | Qt::WindowFullScreen;
        if (windowState() & enlarged) {
            // Fixed size: a maximise from a title bar that offers it anyway is taken back.
            // That change sends its own event.
            setWindowState(windowState() & ~enlarged);
            return;
        }
        Q_EMIT windowStateChangedTo(state());
    } else if (event->type() == QEvent::ActivationChange && m_askedMinimised && isActiveWindow()) {
        // The desktop brought the window back (its dash, task list or Alt+Tab), which
        // Wayland does not report as a state.
        m_askedMinimised = false;
        if (windowState() & Qt::WindowMinimized)
            setWindowState(windowState() & ~Qt::WindowMinimized);
        else
            Q_EMIT windowStateChangedTo(state());
    }
}

void Window::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_watchingPlatformWindow && windowHandle()) {
        m_watchingPlatformWindow = true;
        connect(windowHandle(), &QWindow::windowStateChanged, this, &Window::followPlatformRequest);
    }
    if (!event->spontaneous())
        Q_EMIT windowStateChangedTo(state());
}
