#pragma once

#include <QByteArray>

// A blocking TCP client that sends exactly the bytes it is given, so that
// tests can speak broken, slow or pipelined HTTP to a server. Every wait is
// bounded by a timeout.
class RawSocket {
public:
    RawSocket() = default;
    ~RawSocket();
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    // Connects to 127.0.0.1:port, from `source` (another loopback address)
    // when given.
    bool connectTo(int port, const char* source = nullptr);
    // Before connectTo(): a fixed receive buffer instead of one the kernel
    // grows as the reader keeps up, so that what the kernels hold between
    // the server and a reader that stops is bounded.
    void setReceiveBuffer(int bytes) { m_receiveBuffer = bytes; }
    bool send(const QByteArray& bytes);
    // One whole response (header and Content-Length body), or empty when
    // none came within the time or the connection closed first.
    QByteArray readResponse(int timeoutMs = 5000);
    // True when the server closes the connection within the time; what it
    // sends on the way is dropped.
    bool closedWithin(int timeoutMs);
    // The next `count` bytes, or fewer when the time ran out or the
    // connection ended first.
    QByteArray readBytes(qsizetype count, int timeoutMs);
    // Everything until the server ends the connection; `reset` says whether
    // it ended with a reset rather than a close. Empty when it did not end
    // within the time.
    QByteArray readUntilClosed(int timeoutMs, bool* reset);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    static int statusOf(const QByteArray& response);
    static QByteArray headerOf(const QByteArray& response, const QByteArray& name);

private:
    // Reads what is there within the time; false on close or error.
    bool readSome(int timeoutMs);

    int m_fd = -1;
    int m_receiveBuffer = 0;
    bool m_reset = false;
    QByteArray m_pending;
};
