// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "tilecast-xmpp/AvatarImage.h"

class XmppClient;

// The account's avatar on the server: XEP-0084 (data node, then metadata node) and, where
// the server does not convert that into the vCard itself (no XEP-0398), the XEP-0054 vCard's
// PHOTO that XEP-0153 clients read. Before the first change for an account it keeps a copy
// of the avatar the account had (accountfiles::saveAvatarOnce), which restore() puts back.
class AvatarPublisher : public QObject
{
    Q_OBJECT
public:
    // Everything the server has to confirm, in one call of Tilecast's (which waits 3 s).
    static constexpr int BudgetMs = 2500;

    using Done = std::function<void(bool ok, const QString& error)>;

    explicit AvatarPublisher(XmppClient* client, QObject* parent = nullptr);

    // Forgets what was learned about the server; called on every new sign-in.
    void reset() { m_serverConverts.reset(); }

    void apply(const AvatarImage& image, Done done, int budgetMs = BudgetMs);
    // Publishes the saved avatar back, or none if the account had none, then forgets the copy.
    void restore(Done done, int budgetMs = BudgetMs);

    std::optional<bool> serverConverts() const { return m_serverConverts; }

private:
    struct Operation;
    using Step = std::function<void()>;

    std::shared_ptr<Operation> begin(Done done, int budgetMs);
    void discover(const std::shared_ptr<Operation>& op, Step next);
    void saveOriginal(const std::shared_ptr<Operation>& op, Step next);
    void saveFromVcard(const std::shared_ptr<Operation>& op, Step next);
    void publish(const std::shared_ptr<Operation>& op, const QByteArray& data, const QString& type, int width,
                 int height, Step next);
    void publishNone(const std::shared_ptr<Operation>& op, Step next);
    // Reads the vCard and writes it back with PHOTO replaced (or removed: empty `data`).
    void updateVcard(const std::shared_ptr<Operation>& op, const QByteArray& data, const QString& type,
                     Step next);
    // Sends `xml`; `onReply` gets a result, or an error when `acceptErrors` (else the
    // operation fails with the error's condition).
    void request(const std::shared_ptr<Operation>& op, const QString& what, const QString& xml,
                 std::function<void(void*)> onReply, bool acceptErrors = false);

    XmppClient* m_client;
    std::optional<bool> m_serverConverts;
};
