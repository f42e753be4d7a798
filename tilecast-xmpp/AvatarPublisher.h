// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "platform/Outcome.h"
#include "tilecast-xmpp/AccountFiles.h"
#include "tilecast-xmpp/AvatarImage.h"

class PictureThread;
class XmppClient;
typedef struct _xmpp_stanza_t xmpp_stanza_t; // libstrophe's, as strophe.h declares it

// The account's avatar on the server: XEP-0084 (data node, then metadata node) and, where
// the server does not convert that into the vCard itself (no XEP-0398), the XEP-0054 vCard's
// PHOTO that XEP-0153 clients read.
//
// Before the first change for an account it keeps a copy of the avatar the account had
// (accountfiles::saveAvatarOnce), which restore() puts back. Keeping it is a step of its own,
// started at sign-in with a time of its own, since the user's picture may be large or come
// slowly; a publish waits for it, within its own budget. What is kept is checked: at most
// accountfiles::MaxSavedAvatarBytes, the SHA-1 its id promises, a picture that decodes.
// One that fails a check is not kept, and the user is told once (originalNotKept).
class AvatarPublisher : public QObject
{
    Q_OBJECT
public:
    // Everything the server has to confirm, in one call of Tilecast's (which waits 3 s).
    static constexpr int BudgetMs = 2500;
    // Reading the account's own picture, once.
    static constexpr int KeepOriginalMs = 60000;

    using Done = std::function<void(const Status& outcome)>;

    // Received pictures are checked on `pictures`.
    AvatarPublisher(XmppClient* client, PictureThread* pictures, QObject* parent = nullptr);

    // Forgets what was learned about the server, and starts keeping the account's own
    // picture unless a copy is kept already; called on every new sign-in.
    void signedIn();

    void apply(const AvatarImage& image, Done done, int budgetMs = BudgetMs);
    // Publishes the saved avatar back, or none if the account had none, then forgets the
    // copy. An avatar that was not kept is reported, and its record forgotten.
    void restore(Done done, int budgetMs);

    std::optional<bool> serverConverts() const { return m_serverConverts; }

Q_SIGNALS:
    // The account's own picture could not be kept, and why; said once per account.
    void originalNotKept(const QString& why);

private:
    struct Operation;
    using Step = std::function<void()>;
    using OnReply = std::function<void(xmpp_stanza_t* reply)>;

    std::shared_ptr<Operation> begin(Done done, int budgetMs);
    void discover(const std::shared_ptr<Operation>& op, Step next);
    void whenOriginalKept(const std::shared_ptr<Operation>& op, Step next);
    // Reads the avatar the account has, and keeps it (see keepFromMetadata and keepFromData).
    void keepOriginal();
    // What the avatar's metadata node says: no avatar, one too large to keep, one to fetch
    // from the data node, or nothing there (then the vCard's photo).
    void keepFromMetadata(const std::shared_ptr<Operation>& op, xmpp_stanza_t* reply);
    // The avatar's data named by `id` (the picture's SHA-1), as the data node holds it.
    void keepFromData(const std::shared_ptr<Operation>& op, const QString& id, xmpp_stanza_t* reply);
    // The vCard's photo as the original; `hasAvatar` if the avatar node named one.
    void keepFromVcard(const std::shared_ptr<Operation>& op, bool hasAvatar);
    // Checks a received picture off the thread, then saves it (or that it was not kept).
    void keepPicture(const std::shared_ptr<Operation>& op, const QByteArray& data);
    void saveOriginal(const std::shared_ptr<Operation>& op, const accountfiles::SavedAvatar& avatar);
    void publish(const std::shared_ptr<Operation>& op, const QByteArray& data, const QString& type, int width,
                 int height, Step next);
    void publishNone(const std::shared_ptr<Operation>& op, Step next);
    // Reads the vCard and writes it back with PHOTO replaced (or removed: empty `data`).
    void updateVcard(const std::shared_ptr<Operation>& op, const QByteArray& data, const QString& type,
                     Step next);
    // Sends `xml`; `onReply` gets a result, or an error when `acceptErrors` (else the
    // operation fails with the error's condition).
    void request(const std::shared_ptr<Operation>& op, const QString& what, const QString& xml,
                 OnReply onReply, bool acceptErrors = false);

    XmppClient* m_client;
    PictureThread* m_pictures;
    std::optional<bool> m_serverConverts;
    bool m_keeping = false;
    QString m_keepError; // why the last try to keep the original failed
    QList<Step> m_waitingForOriginal;
};
