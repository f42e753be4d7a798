// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include "contract/ContractService.h"
#include "tilecast-xmpp/AvatarImage.h"

class AvatarPublisher;
class PictureThread;
class XmppClient;

// The contract (ContractService), answered from the XMPP account.
//
// Nothing here waits: a picture is converted on the picture thread and published through
// the connection's own thread, and the answer goes out when they are done. Pictures are
// applied one at a time (the avatar nodes keep only their latest item, so two publishes
// interleaved could leave metadata naming data that is already gone); a few calls may
// wait for their turn, more are refused at once, and one whose caller has given up by its
// turn is answered without being published.
class BridgeService : public ContractService
{
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 4;

    BridgeService(XmppClient* client, AvatarPublisher* publisher, PictureThread* pictures,
                  QObject* parent = nullptr);

    bool isSignedIn() const override;
    QString account() const override;

Q_SIGNALS:
    // Each apply, for the log: the picture, and the error (empty when it worked).
    void applied(const QString& path, const QString& hash, const QString& error);

protected:
    void applyPicture(const PictureCall& call) override;

private:
    struct Apply
    {
        PictureCall call;
        QElapsedTimer waiting; // since the call arrived: the caller's clock
        int remainingMs() const;
    };
    void startNext();
    void converted(const Apply& apply, const AvatarImage& image);
    void finish(const Apply& apply, const QString& errorName, const QString& error, const QString& hash = {});

    XmppClient* m_client;
    AvatarPublisher* m_publisher;
    PictureThread* m_pictures;
    QList<Apply> m_queue;
    bool m_busy = false;
};
