#include "serverprocess.h"

#include "loopbackconnection.h"

#include <QFile>
#include <QThread>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// "VmHWM:     1234 kB" -> 1234
double kilobytesAfter(const QByteArray& status, const char* field) {
    const qsizetype at = status.indexOf(field);
    if (at < 0)
        return -1;
    const qsizetype start = at + qsizetype(qstrlen(field));
    const qsizetype end = status.indexOf('\n', start);
    const QByteArray value =
        status.mid(start, end < 0 ? -1 : end - start).replace("kB", "").trimmed();
    bool ok = false;
    const double kb = value.toDouble(&ok);
    return ok ? kb : -1;
}

} // namespace

ServerProcess::~ServerProcess() {
    stop();
}

int ServerProcess::freePort() {
    // The kernel picks a port no one holds; the server binds it a moment
    // later, which nothing else on a benchmark machine races for.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool ServerProcess::start(const QString& program, QStringList arguments) {
    m_port = freePort();
    if (m_port == 0)
        return false;
    arguments.replaceInStrings(QStringLiteral("%PORT%"), QString::number(m_port));
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    return waitUntilListening();
}

bool ServerProcess::waitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_process.state() != QProcess::Running)
            return false;
        LoopbackConnection probe;
        if (probe.open(m_port))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void ServerProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

ServerProcess::Memory ServerProcess::memory() const {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid()));
    if (pid() <= 0 || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray status = file.readAll();
    const double hwm = kilobytesAfter(status, "VmHWM:");
    const double rss = kilobytesAfter(status, "VmRSS:");
    if (hwm < 0 || rss < 0)
        return {};
    return {hwm / 1024.0, rss / 1024.0, true};
}
