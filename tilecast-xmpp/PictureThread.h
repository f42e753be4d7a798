// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QThreadPool>

#include <functional>

// Picture work (decoding, converting) off the thread that answers D-Bus, one job at a time
// in the order given: a picture of millions of pixels takes seconds. The thread ends when it
// has been idle for a while, so an idle program has none.
class PictureThread : public QObject
{
public:
    explicit PictureThread(QObject* parent = nullptr) : QObject(parent)
    {
        m_pool.setMaxThreadCount(1);
        m_pool.setObjectName(QStringLiteral("PictureThread"));
    }
    // Waits for the job under way: its answer goes to an object that is still there.
    ~PictureThread() override { m_pool.waitForDone(); }

    // Runs `work` on the picture thread, then `done` with its result on this object's thread.
    template <typename Result>
    void run(std::function<Result()> work, std::function<void(const Result&)> done)
    {
        m_pool.start([this, work = std::move(work), done = std::move(done)] {
            const Result result = work();
            QMetaObject::invokeMethod(
                this, [done, result] { done(result); }, Qt::QueuedConnection);
        });
    }

private:
    QThreadPool m_pool;
};
