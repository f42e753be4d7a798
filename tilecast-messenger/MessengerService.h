// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "contract/ContractService.h"

class MessengerModel;

// Calls per org.tilecast.Messenger method, as reported by MessengerControl.Calls.
using CallCounts = QMap<QString, uint>;

// The stand-in's object at /org/tilecast/Messenger: the contract as every messenger program
// answers it (ContractService), and the stand-in's own control interface, whose adaptor
// forwards here. The account state itself lives in MessengerModel, which the window shares.
class MessengerService : public ContractService
{
    Q_OBJECT
    // Read by the generated MessengerControl adaptor, by these names.
    Q_PROPERTY(bool SignedIn READ isSignedIn)
    Q_PROPERTY(QString Account READ account)
    Q_PROPERTY(QString DisplayPicture READ displayPicture)
    Q_PROPERTY(bool RejectPictures READ rejectPictures)

public:
    explicit MessengerService(MessengerModel* model, QObject* parent = nullptr);

    bool isSignedIn() const override;
    QString account() const override;
    QString displayPicture() const;
    bool rejectPictures() const { return m_rejectPictures; }

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

protected:
    void applyPicture(const PictureCall& call) override;
    // Records the picture and counts the call, then sends an armed failure if one matches.
    bool answeredFirst(const QString& method, const QVariantList& arguments) override;

private:
    struct ArmedFailure
    {
        QString method; // empty: whichever contract method comes first
        QString errorName;
        QString message;
    };

    void announceProperty(const QString& name, const QVariant& value);

    MessengerModel* m_model;
    QStringList m_receivedPictures;
    CallCounts m_calls;
    QList<ArmedFailure> m_armedFailures;
    bool m_rejectPictures = false;
};
