#include "support/server/rawsocket.h"

#include <QDeadlineTimer>
#include <QList>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

RawSocket::~RawSocket() {
    close();
}

bool RawSocket::connectTo(int port, const char* source) {
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    m_reset = false;
    if (m_receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_receiveBuffer, sizeof m_receiveBuffer);
    if (source) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &local.sin_addr);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            close();
            return false;
        }
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        close();
        return false;
    }
    return true;
}

bool RawSocket::send(const QByteArray& bytes) {
    qsizetype sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n =
            ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close();
            return false;
        }
        sent += n;
    }
    return m_fd >= 0;
}

bool RawSocket::readSome(int timeoutMs) {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, std::max(timeoutMs, 0)) <= 0)
        return false;
    char buffer[65536];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        m_reset = n < 0 && errno == ECONNRESET;
        close();
        return false;
    }
    m_pending.append(buffer, n);
    return true;
}

QByteArray RawSocket::readResponse(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const qsizetype end = m_pending.indexOf("\r\n\r\n");
        if (end >= 0) {
            const qsizetype total =
                end + 4 + headerOf(m_pending.left(end + 4), "content-length").toLongLong();
            if (m_pending.size() >= total) {
                const QByteArray response = m_pending.left(total);
                m_pending.remove(0, total);
                return response;
            }
        }
        if (deadline.hasExpired() || !readSome(int(deadline.remainingTime())))
            return {};
    }
}

bool RawSocket::closedWithin(int timeoutMs) {
    // At least one look, so that a zero timeout asks without waiting.
    QDeadlineTimer deadline(timeoutMs);
    do {
        readSome(int(deadline.remainingTime()));
        m_pending.clear();
    } while (m_fd >= 0 && !deadline.hasExpired());
    return m_fd < 0;
}

QByteArray RawSocket::readBytes(qsizetype count, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_pending.size() < count && !deadline.hasExpired() &&
           readSome(int(deadline.remainingTime())))
        ;
    const QByteArray bytes = m_pending.left(count);
    m_pending.remove(0, bytes.size());
    return bytes;
}

QByteArray RawSocket::readUntilClosed(int timeoutMs, bool* reset) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && !deadline.hasExpired())
        readSome(int(deadline.remainingTime()));
    if (m_fd >= 0)
        return {};
    *reset = m_reset;
    return std::exchange(m_pending, {});
}

void RawSocket::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int RawSocket::statusOf(const QByteArray& response) {
    // "HTTP/1.1 200 OK"
    if (!response.startsWith("HTTP/1."))
        return 0;
    return response.mid(9, 3).toInt();
}

QByteArray RawSocket::headerOf(const QByteArray& response, const QByteArray& name) {
    const QList<QByteArray> lines = response.left(response.indexOf("\r\n\r\n")).split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}
