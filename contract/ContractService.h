// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariantList>

#include "platform/Outcome.h"

// One SetMyProperty call whose arguments passed every check: the picture's path, and the
// answer, given now or later, once.
class PictureCall
{
public:
    PictureCall(const QDBusConnection& bus, const QDBusMessage& call, QString path);

    const QString& path() const { return m_path; }

    void accept() const;
    // The picture cannot be used (missing, unreadable, not a picture): InvalidArgument.
    void unusable(const QString& reason) const;
    // Any other refusal: `errorName` from contract::error, and the whole message.
    void refuse(const QString& errorName, const QString& message) const;

private:
    QDBusConnection m_bus;
    QDBusMessage m_call;
    QString m_path;
};

// The object at /org/tilecast/Messenger, as every messenger program answers it: it exports
// itself and owns the name, checks the calls' arguments and sends the contract's errors in
// the same words whichever program runs. A program says who is signed in and applies the
// picture; the adaptor generated from org.tilecast.Messenger.xml forwards every call here.
class ContractService : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    explicit ContractService(QObject* parent = nullptr);

    // Exports the object (with every adaptor the program added) and takes the name without
    // queueing. Fails when there is no bus or another program already owns the name.
    Status publish(const QDBusConnection& bus);
    // The bus given to publish(); not connected before.
    const QDBusConnection& bus() const { return m_bus; }

    // org.tilecast.Messenger
    QString MySigninName();
    void SetMyProperty(int property, const QDBusVariant& value);

    virtual bool isSignedIn() const = 0;
    // The account, signed in or not.
    virtual QString account() const = 0;

    // The message of NotSignedIn, for an answer a program gives later.
    static QString notSignedIn(const QString& account);

protected:
    // Signed in, property 2, a string: make `call.path()` the display picture, and answer
    // `call`, now or later.
    virtual void applyPicture(const PictureCall& call) = 0;
    // Sees every call as it came, before any check (for SetMyProperty its two arguments,
    // the value unwrapped); true when the program has answered it itself.
    virtual bool answeredFirst(const QString& method, const QVariantList& arguments);

private:
    QDBusConnection m_bus;
};
