// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DesktopSession.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUuid>

#include <algorithm>

#include "support/XWindows.h"

namespace testsupport {

namespace {

constexpr int lookTimeoutMs = 3000;

QString advice()
{
    return QStringLiteral(
        "\nDesktop tests run inside a private virtual desktop; start them through "
        "scripts/desktop-session, e.g.\n"
        "  scripts/desktop-session -- ctest --test-dir build -L desktop --output-on-failure");
}

// Runs xprop against the display in env; nullopt when the X server cannot be reached.
std::optional<QByteArray> rootProperty(const QProcessEnvironment& env, const QString& property)
{
    QProcess xprop;
    xprop.setProcessEnvironment(env);
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), property});
    if (!xprop.waitForFinished(lookTimeoutMs)) {
        xprop.kill();
        xprop.waitForFinished(1000);
        return std::nullopt;
    }
    if (xprop.exitStatus() != QProcess::NormalExit || xprop.exitCode() != 0)
        return std::nullopt;
    return xprop.readAllStandardOutput();
}

std::optional<bool> nameHasOwner(const QString& address, const QString& service)
{
    // A connection of our own: the one sessionBus() caches may point at another bus than env does.
    const QString connectionName = QStringLiteral("testsupport-check ") + QUuid::createUuid().toString();
    std::optional<bool> owned;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        if (bus.isConnected()) {
            QDBusMessage m = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
            m.setArguments({service});
            const QDBusMessage reply = bus.call(m, QDBus::Block, lookTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                owned = reply.arguments().at(0).toBool();
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return owned;
}

} // namespace

QString desktopProblem(const DesktopNeeds& needs, const QProcessEnvironment& env)
{
    const QString display = env.value(QStringLiteral("DISPLAY"));
    if (display.isEmpty())
        return QStringLiteral("DISPLAY is not set: this test needs an X display.") + advice();
    const std::optional<QByteArray> wmCheck = rootProperty(env, QStringLiteral("_NET_SUPPORTING_WM_CHECK"));
    if (!wmCheck)
        return QStringLiteral("cannot reach the X server at DISPLAY=%1.").arg(display) + advice();

    const QString address = env.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (address.isEmpty())
        return QStringLiteral("DBUS_SESSION_BUS_ADDRESS is not set: this test needs a session bus.") +
               advice();
    if (!nameHasOwner(address, QStringLiteral("org.freedesktop.DBus")).value_or(false))
        return QStringLiteral("cannot reach the session bus at %1.").arg(address) + advice();

    if (needs.accessibility && !nameHasOwner(address, QStringLiteral("org.a11y.Bus")).value_or(false))
        return QStringLiteral("no accessibility bus: org.a11y.Bus is not on the session bus.") + advice();
    if (needs.windowManager && !wmCheck->contains("window id"))
        return QStringLiteral("no window manager runs on DISPLAY=%1 (_NET_SUPPORTING_WM_CHECK is not set).")
                   .arg(display) +
               advice();
    if (needs.wayland) {
        const QString socket = env.value(QStringLiteral("WAYLAND_DISPLAY"));
        const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
        if (socket.isEmpty() || !QFileInfo(QDir(runtime).filePath(socket)).exists())
            return QStringLiteral(
                       "no Wayland compositor: WAYLAND_DISPLAY=%1 in XDG_RUNTIME_DIR=%2 (start the "
                       "test through scripts/desktop-session --wayland).")
                .arg(socket, runtime);
    }
    if (needs.tray) {
        // XWindows reads $DISPLAY of this process; only look when that is the display checked.
        const bool sameDisplay = qEnvironmentVariable("DISPLAY") == display;
        const QList<XWindow> windows = sameDisplay ? XWindows::topLevel() : QList<XWindow>{};
        const bool tray = std::any_of(windows.cbegin(), windows.cend(), [](const XWindow& w) {
            return w.className == QStringLiteral("trayer") && w.viewable;
        });
        if (!tray)
            return QStringLiteral("no system tray (trayer) on DISPLAY=%1.").arg(display) + advice();
    }
    return {};
}

} // namespace testsupport
