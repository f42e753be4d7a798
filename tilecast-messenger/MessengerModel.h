// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <memory>

#include "platform/PictureFile.h"

// The stand-in's one account and its display picture. Knows nothing about D-Bus
// so that the rules can be exercised without a bus.
class MessengerModel : public QObject
{
    Q_OBJECT

public:
    explicit MessengerModel(const QString& account, bool signedIn, QObject* parent = nullptr);

    QString account() const { return m_account; }
    bool isSignedIn() const { return m_signedIn; }
    QString displayPicture() const { return m_displayPicture; }

    // Signs in under the current account name.
    void signIn();
    // Signs in under `account` (the empty name is a valid one).
    void signInAs(const QString& account);
    void signOut();

    // Makes `path` the display picture if checkPicture() accepts it. Accepting the
    // same path again still notifies: the file behind it may hold a new image.
    PictureCheck setDisplayPicture(const QString& path);

    // Accepts a readable regular file (symlinks followed) whose content is a GIF,
    // JPEG, BMP or PNG with a readable header. Reads the header only, so huge
    // images cost no more than small ones.
    static PictureCheck checkPicture(const QString& path);

    // Decodes `path` scaled down to fit `edge` x `edge` while reading. Null image
    // if it cannot be read.
    static QImage loadPreview(const QString& path, int edge);

Q_SIGNALS:
    void signedInChanged(bool signedIn);
    void accountChanged(const QString& account);
    void displayPictureChanged(const QString& path);

private:
    void setSignedIn(bool signedIn);

    QString m_account;
    QString m_displayPicture;
    bool m_signedIn;
};
