#include "loopbackconnection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t length = std::char_traits<char>::length(prefix);
    return text.size() >= length && ::strncasecmp(text.c_str(), prefix, length) == 0;
}

std::string valueOf(const std::string& headerLine) {
    std::size_t start = headerLine.find(':') + 1;
    while (start < headerLine.size() && headerLine[start] == ' ')
        ++start;
    return headerLine.substr(start);
}

bool containsNoCase(const std::string& text, const char* word) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find(word) != std::string::npos;
}

} // namespace

LoopbackConnection::~LoopbackConnection() {
    close();
}

bool LoopbackConnection::open(int port) {
    if (m_fd >= 0)
        return true;
    m_buffer.clear();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    // Requests go out in one write; without this a body written after its
    // head would wait for the server's delayed acknowledgement.
    int yes = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    timeval timeout{kTimeoutSeconds, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close();
        return false;
    }
    return true;
}

void LoopbackConnection::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

LoopbackConnection::Response LoopbackConnection::exchange(const std::string& request) {
    Response response;
    long long contentLength = -1;
    bool chunked = false;
    bool ok = m_fd >= 0 && sendAll(request) && readHead(response, contentLength, chunked);
    if (ok && chunked)
        ok = readChunked(response);
    else if (ok && contentLength >= 0)
        ok = readBytes(std::size_t(contentLength), response);
    else if (ok) {
        readToEnd(response);
        response.serverCloses = true;
    }
    if (!ok)
        response.status = -1;
    if (!ok || response.serverCloses)
        close();
    return response;
}

bool LoopbackConnection::sendAll(const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

bool LoopbackConnection::fill() {
    char chunk[64 * 1024];
    const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
    if (n <= 0)
        return false;
    m_buffer.append(chunk, std::size_t(n));
    return true;
}

bool LoopbackConnection::readLine(std::string& line) {
    std::size_t end;
    while ((end = m_buffer.find("\r\n")) == std::string::npos)
        if (!fill())
            return false;
    line = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 2);
    return true;
}

bool LoopbackConnection::readHead(Response& response, long long& contentLength, bool& chunked) {
    std::string line;
    if (!readLine(line) || !startsWithNoCase(line, "HTTP/1.") || line.size() < 12)
        return false;
    // An HTTP/1.0 answer closes unless it says otherwise.
    bool closes = line[7] == '0';
    response.status = std::atoi(line.c_str() + 9);
    while (readLine(line)) {
        if (line.empty()) {
            response.serverCloses = closes;
            return true;
        }
        if (startsWithNoCase(line, "content-length:"))
            contentLength = std::atoll(valueOf(line).c_str());
        else if (startsWithNoCase(line, "transfer-encoding:"))
            chunked = containsNoCase(valueOf(line), "chunked");
        else if (startsWithNoCase(line, "connection:"))
            closes = containsNoCase(valueOf(line), "close") ||
                     (closes && !containsNoCase(valueOf(line), "keep-alive"));
    }
    return false;
}

bool LoopbackConnection::readBytes(std::size_t count, Response& response) {
    while (m_buffer.size() < count)
        if (!fill())
            return false;
    response.body.append(m_buffer, 0, count);
    m_buffer.erase(0, count);
    return true;
}

bool LoopbackConnection::readChunked(Response& response) {
    std::string line;
    for (;;) {
        if (!readLine(line))
            return false;
        const std::size_t size = std::strtoul(line.c_str(), nullptr, 16);
        if (size == 0)
            break;
        if (!readBytes(size, response) || !readLine(line))
            return false;
    }
    // Trailer fields, up to the empty line.
    while (readLine(line))
        if (line.empty())
            return true;
    return false;
}

void LoopbackConnection::readToEnd(Response& response) {
    while (fill()) {
    }
    response.body += m_buffer;
    m_buffer.clear();
}
