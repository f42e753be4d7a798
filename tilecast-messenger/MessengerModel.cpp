// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessengerModel.h"

#include <QImageReader>

MessengerModel::MessengerModel(const QString& account, bool signedIn, QObject* parent)
    : QObject(parent), m_account(account), m_signedIn(signedIn)
{
}

void MessengerModel::signIn()
{
    setSignedIn(true);
}

void MessengerModel::signInAs(const QString& account)
{
    if (account != m_account) {
        m_account = account;
        Q_EMIT accountChanged(m_account);
    }
    setSignedIn(true);
}

void MessengerModel::signOut()
{
    setSignedIn(false);
}

void MessengerModel::setSignedIn(bool signedIn)
{
    if (signedIn == m_signedIn)
        return;
    m_signedIn = signedIn;
    Q_EMIT signedInChanged(m_signedIn);
}

PictureCheck MessengerModel::setDisplayPicture(const QString& path)
{
    PictureCheck check = checkPicture(path);
    if (check.ok) {
        m_displayPicture = path;
        Q_EMIT displayPictureChanged(m_displayPicture);
    }
    return check;
}

PictureCheck MessengerModel::checkPicture(const QString& path)
{
    return checkPictureFile(path);
}

QImage MessengerModel::loadPreview(const QString& path, int edge)
{
    QString reason;
    const std::unique_ptr<QFile> file = openRegularFile(path, &reason);
    if (!file)
        return {};
    QImageReader reader(file.get());
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!isPictureFormat(reader.format()))
        return {};
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    if (size.width() > edge || size.height() > edge)
        reader.setScaledSize(size.scaled(edge, edge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}
