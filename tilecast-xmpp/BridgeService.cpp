// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/BridgeService.h"

#include "contract/MessengerContract.h"
#include "tilecast-xmpp/AvatarImage.h"
#include "tilecast-xmpp/AvatarPublisher.h"
#include "tilecast-xmpp/PictureThread.h"
#include "tilecast-xmpp/XmppClient.h"

BridgeService::BridgeService(XmppClient* client, AvatarPublisher* publisher, PictureThread* pictures,
                             QObject* parent)
    : ContractService(parent), m_client(client), m_publisher(publisher), m_pictures(pictures)
{
}

int BridgeService::Apply::remainingMs() const
{
    return int(AvatarPublisher::BudgetMs - waiting.elapsed());
}

bool BridgeService::isSignedIn() const
{
    return m_client->isSignedIn();
}

QString BridgeService::account() const
{
    return m_client->bareJid();
}

void BridgeService::applyPicture(const PictureCall& call)
{
    if (m_queue.size() >= MaxWaiting) {
        call.refuse(contract::error::Failed,
                    QStringLiteral("Busy: %1 pictures wait to be published already.").arg(m_queue.size()));
        return;
    }
    Apply apply{call, {}};
    apply.waiting.start();
    m_queue.append(apply);
    startNext();
}

void BridgeService::startNext()
{
    if (m_busy || m_queue.isEmpty())
        return;
    const Apply apply = m_queue.takeFirst();
    if (apply.remainingMs() <= 0) {
        finish(apply, contract::error::Failed, QStringLiteral("its turn came after the caller had given up"));
        startNext();
        return;
    }
    m_busy = true;
    const QString path = apply.call.path();
    m_pictures->run<AvatarImage>([path] { return makeAvatarImage(path); },
                                 [this, apply](const AvatarImage& image) { converted(apply, image); });
}

void BridgeService::converted(const Apply& apply, const AvatarImage& image)
{
    const auto next = [this] {
        m_busy = false;
        startNext();
    };
    if (!image.ok) {
        // Nothing is published for a picture that cannot be used.
        finish(apply, contract::error::InvalidArgument, image.error);
        next();
        return;
    }
    if (apply.remainingMs() <= 0) {
        finish(apply, contract::error::Failed,
               QStringLiteral("converting it took longer than the caller waits"));
        next();
        return;
    }
    if (!m_client->isSignedIn()) {
        finish(apply, contract::error::NotSignedIn,
               QStringLiteral("%1 is not signed in").arg(m_client->bareJid()));
        next();
        return;
    }
    const QString hash = QString::fromLatin1(image.sha1Hex);
    m_publisher->apply(
        image,
        [this, apply, hash, next](const Status& outcome) {
            if (outcome)
                finish(apply, QString(), QString(), hash);
            else
                finish(apply, contract::error::Failed, outcome.failure(), hash);
            next();
        },
        apply.remainingMs());
}

void BridgeService::finish(const Apply& apply, const QString& errorName, const QString& error,
                           const QString& hash)
{
    const PictureCall& call = apply.call;
    if (errorName.isEmpty())
        call.accept();
    else if (errorName == contract::error::InvalidArgument)
        call.unusable(error);
    else
        call.refuse(errorName, QStringLiteral("Cannot make \"%1\" the avatar: %2.").arg(call.path(), error));
    Q_EMIT applied(call.path(), hash, error);
}
