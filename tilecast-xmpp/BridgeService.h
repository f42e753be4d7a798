// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include "tilecast-xmpp/AvatarImage.h"

class AvatarPublisher;
class XmppClient;

// The object at /org/tilecast/Messenger: the contract, answered from the XMPP account.
// The adaptor generated from the shared interface file forwards every call here.
class BridgeService : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    BridgeService(XmppClient* client, AvatarPublisher* publisher, QObject* parent = nullptr);

    // Exports the object and takes the name without queueing. False with `error` set when
    // another program already owns it.
    bool publish(const QDBusConnection& bus, QString* error);

    // org.tilecast.Messenger
    QString MySigninName();
    void SetMyProperty(int property, const QDBusVariant& value);

Q_SIGNALS:
    // Each apply, for the log: the picture, and the error (empty when it worked).
    void applied(const QString& path, const QString& hash, const QString& error);

private:
    struct Apply
    {
        QDBusMessage call;
        QString path;
        AvatarImage image;
        QElapsedTimer waiting;
    };
    // One at a time: the avatar nodes keep only their latest item, so two publishes
    // interleaved could leave metadata naming data that is already gone.
    void startNext();

    XmppClient* m_client;
    QList<Apply> m_queue;
    bool m_busy = false;
    AvatarPublisher* m_publisher;
    QDBusConnection m_bus;
};
