// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace testsupport {

// One top-level client window of the X display, as the window manager and a person see it.
struct XWindow
{
    quint64 id = 0;
    QString title;         // _NET_WM_NAME, else WM_NAME
    QString instanceName;  // WM_CLASS, first part: the program's name for a Qt program
    QString className;     // WM_CLASS, second part
    qint64 pid = -1;       // _NET_WM_PID, -1 when not set
    bool mapped = false;   // map state is not IsUnMapped
    bool viewable = false; // IsViewable: mapped, and so is every ancestor
    bool overrideRedirect = false;
    QRect geometry;          // client area in root coordinates, without the frame
    QMargins frameExtents;   // _NET_FRAME_EXTENTS: the decoration the window manager added
    QString wmState;         // WM_STATE: "Normal", "Iconic", "Withdrawn", empty when not set
    QStringList netWmState;  // _NET_WM_STATE atoms, e.g. _NET_WM_STATE_HIDDEN
    QStringList windowTypes; // _NET_WM_WINDOW_TYPE atoms, e.g. _NET_WM_WINDOW_TYPE_SPLASH

    bool hidden() const { return netWmState.contains(QStringLiteral("_NET_WM_STATE_HIDDEN")); }
    bool iconic() const { return wmState == QStringLiteral("Iconic"); }
    // On screen for a person: viewable and neither minimised nor hidden by the window manager.
    bool shown() const { return viewable && !iconic() && !hidden(); }
    QString idHex() const { return QStringLiteral("0x%1").arg(id, 0, 16); }
    QString describe() const;
};

// What a window asks of the window manager for its frame: the Motif hints (which title-bar
// buttons and functions), the size hints, and its icons (_NET_WM_ICON).
struct XWindowHints
{
    enum Motif : quint32
    {
        HasFunctions = 1,
        HasDecorations = 2,
        FunctionAll = 1,
        FunctionMinimise = 8,
        FunctionMaximise = 16,
        FunctionClose = 32,
        DecorationAll = 1,
        DecorationTitle = 8,
        DecorationMinimise = 32,
        DecorationMaximise = 64,
    };
    quint32 motifFlags = 0; // 0 when the window sets no Motif hints
    quint32 motifFunctions = 0;
    quint32 motifDecorations = 0;
    QSize minimumSize; // WM_NORMAL_HINTS; empty when not given
    QSize maximumSize;
    QList<QImage> icons; // ARGB32, in the order the window lists them

    bool titleBar() const;
    // A function that the title bar offers: allowed (without Motif function hints every
    // function is) and, unless decoration is 0 (closing has no button of its own in the
    // hints), its button drawn.
    bool offers(quint32 function, quint32 decoration) const;
    // The icon of this size, or a null image.
    QImage icon(QSize size) const;
};

// Reads the X display of $DISPLAY through the standard X command-line tools (xwininfo,
// xprop), so a test needs no X library of its own and sees what any X client would see.
class XWindows
{
public:
    // Top-level client windows: each child of the root, or with a reparenting window
    // manager the client inside each frame. Unmapped (hidden) windows are included.
    // On failure returns an empty list and, if asked, says why in *error.
    static QList<XWindow> topLevel(QString* error = nullptr);
    static QList<XWindow> windowsOfPid(qint64 pid, QString* error = nullptr);

    // Polls (every 50 ms, serving the event loop in between) until a window matches;
    // pid > 0 looks only at that process's windows.
    static std::optional<XWindow> waitFor(const std::function<bool(const XWindow&)>& predicate, int timeoutMs,
                                          qint64 pid = 0);
    // Polls until the list as a whole satisfies the predicate (e.g. "none shown any more").
    // *last receives the last list seen, for the failure message.
    static bool waitUntil(const std::function<bool(const QList<XWindow>&)>& predicate, int timeoutMs,
                          qint64 pid = 0, QList<XWindow>* last = nullptr);

    static QString dump(const QList<XWindow>& windows);

    // The window's frame hints; nullopt (and the reason) when it cannot be read.
    static std::optional<XWindowHints> hints(quint64 id, QString* error = nullptr);
};

} // namespace testsupport
