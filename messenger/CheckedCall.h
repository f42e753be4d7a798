// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

class QThread;

#include "platform/Outcome.h"

// One object of a program on the bus, called the way every messenger back-end calls:
// blocking (or, for a question asked again and again, answered on another thread),
// never starting the program on demand, never waiting longer than the
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

    // Fails when there is no bus, the bus does not answer within the contract's time-out,
    // or nobody owns the service: a program is never started on demand.
    static Status reachable(const QDBusConnection& bus, const QString& service, const QString& absent);

    Status callVoid(const QString& method, const QList<QVariant>& args = {}) const;

    // One value of type T, or a failure if the program answered with anything else.
    template <typename T>
    Outcome<T> callFor(const QString& method, const QList<QVariant>& args = {}) const
    {
        return answerOf<T>(method, send(method, args));
    }

    // The same question without waiting: `answer` gets the checked answer on `thread`
    // once the reply is in or the time-out has passed. The returned call tells whether
    // the answer is still to come.
    template <typename T>
    QDBusPendingCall callForLater(const QString& method, QThread* thread,
                                  std::function<void(const Outcome<T>&)> answer) const
    {
        const QDBusPendingCall call = sendLater(method);
        auto* watcher = new QDBusPendingCallWatcher(call);
        // Connected before the move, so that a reply that is already in is not missed.
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, watcher,
            [checked = *this, method, answer = std::move(answer)](QDBusPendingCallWatcher* done) {
                answer(checked.answerOf<T>(method, done->reply()));
                done->deleteLater();
            });
        watcher->moveToThread(thread);
        return call;
    }

private:
    QDBusMessage message(const QString& method, const QList<QVariant>& args) const;
    QDBusMessage send(const QString& method, const QList<QVariant>& args) const;
    QDBusPendingCall sendLater(const QString& method) const;
    Failure failureOf(const QString& method, const QDBusMessage& reply) const;
    // Checks that `reply` holds exactly one value of `wanted`'s D-Bus type.
    Status single(const QString& method, const QDBusMessage& reply, QMetaType wanted, QVariant* value) const;

    template <typename T>
    Outcome<T> answerOf(const QString& method, const QDBusMessage& reply) const
    {
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

    QDBusConnection m_bus;
    Target m_target;
};
