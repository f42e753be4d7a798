// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/ReplyThread.h"

#include <QCoreApplication>
#include <QThread>

namespace {
QThread* running = nullptr;

void stop()
{
    running->quit();
    running->wait();
    delete running;
    running = nullptr;
}
} // namespace

QThread* replyThread()
{
    Q_ASSERT(QCoreApplication::instance() &&
             QThread::currentThread() == QCoreApplication::instance()->thread());
    if (!running) {
        running = new QThread;
        running->setObjectName(QStringLiteral("MessengerReplies"));
        running->start();
        qAddPostRoutine(stop);
    }
    return running;
}
