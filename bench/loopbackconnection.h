#pragma once

#include <string>

// One blocking HTTP/1.1 client connection to a loopback port, just enough
// of the protocol to time a server: one request at a time, a response body
// framed by Content-Length, chunks or the end of the connection.
class LoopbackConnection {
public:
    struct Response {
        int status = -1; // -1: no complete response
        std::string body;
        bool serverCloses = false;
    };

    LoopbackConnection() = default;
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    // Connects when not connected; false when the port does not answer.
    bool open(int port);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Sends a whole request (head and body) and reads its response. The
    // connection is closed afterwards when the server says it will close it,
    // or on any error.
    Response exchange(const std::string& request);

    // Stops a read or write that makes no progress for this long, so a
    // stalled server ends a run rather than hanging it.
    static constexpr int kTimeoutSeconds = 10;

private:
    bool sendAll(const std::string& data);
    bool fill();
    bool readHead(Response& response, long long& contentLength, bool& chunked);
    bool readBytes(std::size_t count, Response& response);
    bool readChunked(Response& response);
    bool readLine(std::string& line);
    void readToEnd(Response& response);

    int m_fd = -1;
    std::string m_buffer;
};
