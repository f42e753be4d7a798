// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariant>

#include "platform/Outcome.h"

// One object of a program on the bus, called the way every messenger back-end calls:
// blocking, never starting the program on demand, never waiting longer than the
// contract's time-out, and checking that an answer has the type asked for.
class CheckedCall
{
public:
    struct Target
    {
        QString service;
        QString path;
        QString interface;
        QString peer; // names the program in failures: "Pidgin", "the messenger"
    };

    CheckedCall(const QDBusConnection& bus, Target target);

    // Fails when there is no bus or nobody owns the service: a program is never
    // started on demand.
    static Status reachable(const QDBusConnection& bus, const QString& service, const QString& absent);

    Status callVoid(const QString& method, const QList<QVariant>& args = {}) const;

    // One value of type T, or a failure if the program answered with anything else.
    template <typename T>
    Outcome<T> callFor(const QString& method, const QList<QVariant>& args = {}) const
    {
        const QDBusMessage reply = send(method, args);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return failureOf(method, reply);
        QVariant value;
        if (Status typed = single(method, reply, QMetaType::fromType<T>(), &value); !typed)
            return Failure{typed.failure()};
        if (value.metaType() == QMetaType::fromType<T>())
            return value.value<T>();
        // Containers arrive still marshalled; single() has checked their signature.
        T result;
        value.value<QDBusArgument>() >> result;
        return result;
    }

private:
    QDBusMessage send(const QString& method, const QList<QVariant>& args) const;
    Failure failureOf(const QString& method, const QDBusMessage& reply) const;
    // Checks that `reply` holds exactly one value of `wanted`'s D-Bus type.
    Status single(const QString& method, const QDBusMessage& reply, QMetaType wanted, QVariant* value) const;

    QDBusConnection m_bus;
    Target m_target;
};
