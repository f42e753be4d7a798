// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class MessengerModel;

// Calls per org.tilecast.Messenger method, as reported by MessengerControl.Calls.
using CallCounts = QMap<QString, uint>;

// The object at /org/tilecast/Messenger. The adaptors generated from the two
// interface XML files forward every call here; the account state itself lives
// in MessengerModel, which the window shares.
class MessengerService : public QObject, protected QDBusContext
{
    Q_OBJECT
    // Read by the generated MessengerControl adaptor, by these names.
    Q_PROPERTY(bool SignedIn READ isSignedIn)
    Q_PROPERTY(QString Account READ account)
    Q_PROPERTY(QString DisplayPicture READ displayPicture)
    Q_PROPERTY(bool RejectPictures READ rejectPictures)

public:
    explicit MessengerService(MessengerModel* model, QObject* parent = nullptr);

    // Exports the object, then takes the bus name without queueing. False with
    // `error` set if either fails (typically: another instance owns the name).
    bool publish(const QDBusConnection& bus, QString* error);

    bool isSignedIn() const;
    QString account() const;
    QString displayPicture() const;
    bool rejectPictures() const { return m_rejectPictures; }

    // org.tilecast.Messenger
    QString MySigninName();
    void SetMyProperty(int property, const QDBusVariant& value);

    // org.tilecast.MessengerControl
    void SignIn();
    void SignInAs(const QString& account);
    void SignOut();
    QStringList ReceivedPictures() const { return m_receivedPictures; }
    void ClearReceivedPictures() { m_receivedPictures.clear(); }
    CallCounts Calls() const { return m_calls; }
    void ResetCalls();
    void FailNext(const QString& method, const QString& errorName, const QString& message);
    void SetRejectPictures(bool reject);

Q_SIGNALS:
    // Relayed as D-Bus signals by the MessengerControl adaptor.
    void SignedInChanged(bool signedIn);
    void AccountChanged(const QString& account);
    void DisplayPictureChanged(const QString& path);

private:
    struct ArmedFailure
    {
        QString method; // empty: whichever contract method comes first
        QString errorName;
        QString message;
    };

    // Counts the call and sends an armed failure if one matches; true if it did.
    bool beginContractCall(const QString& method);
    void announceProperty(const QString& name, const QVariant& value);

    MessengerModel* m_model;
    QDBusConnection m_bus;
    QStringList m_receivedPictures;
    CallCounts m_calls;
    QList<ArmedFailure> m_armedFailures;
    bool m_rejectPictures = false;
};
