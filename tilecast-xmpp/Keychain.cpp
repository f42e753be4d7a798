// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/Keychain.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace keychain {

namespace {

const QString Service = QStringLiteral("tilecast-xmpp");

// Runs `job` to its end; QtKeychain answers through the event loop.
bool run(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    // Never a plain-text file when no keychain answers: the password stays out of files.
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return job.error() == QKeychain::NoError;
}

} // namespace

std::optional<QString> readPassword(const QString& bareJid, QString* error)
{
    QKeychain::ReadPasswordJob job(Service);
    job.setKey(bareJid);
    if (!run(job)) {
        *error =
            job.error() == QKeychain::EntryNotFound
                ? QStringLiteral("no password for %1 in the keychain: run tilecast-xmpp login %1, "
                                 "or give --password-file")
                      .arg(bareJid)
                : QStringLiteral("cannot read the password from the keychain: %1").arg(job.errorString());
        return std::nullopt;
    }
    return job.textData();
}

bool writePassword(const QString& bareJid, const QString& password, QString* error)
{
    QKeychain::WritePasswordJob job(Service);
    job.setKey(bareJid);
    job.setTextData(password);
    if (!run(job)) {
        *error = QStringLiteral("cannot store the password in the keychain: %1").arg(job.errorString());
        return false;
    }
    return true;
}

bool deletePassword(const QString& bareJid, QString* error)
{
    QKeychain::DeletePasswordJob job(Service);
    job.setKey(bareJid);
    if (!run(job) && job.error() != QKeychain::EntryNotFound) {
        *error = QStringLiteral("cannot remove the password from the keychain: %1").arg(job.errorString());
        return false;
    }
    return true;
}

} // namespace keychain
