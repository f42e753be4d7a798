// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void sendAll(int fd, const QByteArray& data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

QByteArray head(int status, qint64 length, const QByteArray& extra = {})
{
    QByteArray h = "HTTP/1.1 " + QByteArray::number(status) + " Test\r\nConnection: close\r\n";
    if (length >= 0)
        h += "Content-Length: " + QByteArray::number(length) + "\r\n";
    return h + extra + "\r\n";
}

} // namespace

LocalHttpServer::LocalHttpServer()
{
    // Without its socket every request of the test would fail for the wrong reason.
    const auto fail = [](const char* step) {
        qFatal("LocalHttpServer: %s failed: %s", step, std::strerror(errno));
    };
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        fail("bind to 127.0.0.1");
    if (::listen(m_listener, 16) != 0)
        fail("listen");
    socklen_t size = sizeof address;
    if (::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        fail("getsockname");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LocalHttpServer::~LocalHttpServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

void LocalHttpServer::answer(int status, const QByteArray& body)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_mode = Mode::Answer;
    m_status = status;
    m_body = body;
}

void LocalHttpServer::setMode(Mode mode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_mode = mode;
}

QString LocalHttpServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QList<QByteArray> LocalHttpServer::requests() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

void LocalHttpServer::serve()
{
    while (!m_stop) {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        handle(client);
        ::close(client);
    }
}

void LocalHttpServer::handle(int client)
{
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n") && !m_stop) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, n);
    }
    const QByteArray path = request.split(' ').value(1);

    int status;
    QByteArray body;
    Mode mode;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests << path;
        status = m_status;
        body = m_body;
        mode = m_mode;
    }

    switch (mode) {
    case Mode::Answer:
        sendAll(client, head(status, body.size()) + body);
        break;
    case Mode::Stall:
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        break;
    case Mode::ResetInBody: {
        sendAll(client, head(200, 1000) + QByteArray(500, 'x'));
        linger hard{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        break;
    }
    case Mode::EndlessBody: {
        sendAll(client, head(200, -1));
        const QByteArray chunk(16 * 1024, 'x');
        for (int i = 0; i < 100000 && !m_stop; ++i) {
            if (::send(client, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) <= 0)
                break;
        }
        break;
    }
    case Mode::RedirectLoop:
        sendAll(client, head(302, 0, "Location: " + path + "\r\n"));
        break;
    }
}
