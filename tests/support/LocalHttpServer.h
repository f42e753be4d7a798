// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// A tiny HTTP server on 127.0.0.1 for tests, answering every request the same
// way from a thread of its own (the program under test blocks its own thread
// while it waits for the answer). When it cannot listen it stops the test
// program with the reason.
class LocalHttpServer
{
public:
    enum class Mode
    {
        Answer,       // status line, headers and body, then close
        Stall,        // read the request, answer nothing until stopped
        ResetInBody,  // headers and half the body, then reset the connection
        EndlessBody,  // headers, then body bytes until the client gives up
        RedirectLoop, // 302 to the same path, forever
    };

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    void answer(int status, const QByteArray& body);
    void setMode(Mode mode);

    // "127.0.0.1:PORT"
    QString host() const;
    // The request paths seen so far.
    QList<QByteArray> requests() const;

private:
    void serve();
    void handle(int client);

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    int m_status = 200;
    QByteArray m_body;
    Mode m_mode = Mode::Answer;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
