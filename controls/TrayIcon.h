// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

// What a notification-area icon shows, filled once when the main window loads.
struct IconRecord
{
    quintptr window = 0; // the owning window's native handle
    int id = 0;
    QIcon icon;
    QString tip;

    bool isFilled() const { return window != 0; }
};

// The desktop's notification area: add the icon, remove it, and hear the
// user's double-click on it. Adding a present icon or removing an absent one
// changes nothing. Where the desktop has no notification area nothing shows
// and nothing fails; the icon still counts as present while added.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);

    void add(const IconRecord& record);
    void remove();
    bool isPresent() const { return m_present; }

Q_SIGNALS:
    void doubleClicked();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    // Made at the first add that the desktop can show, so that a program that never
    // minimises never talks to the notification area.
    QPointer<QSystemTrayIcon> m_icon;
    bool m_present = false;
    bool m_primaryActivationIsDoubleClick = false;
};
