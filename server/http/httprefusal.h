#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <memory>
#include <string>

// A connection turned away at its accept, told so: a short 503 rather than
// a bare close, which a client cannot tell from a network fault. What the
// client already sent is read and dropped for a moment, so that closing
// does not reset the connection before the answer is read.
class HttpRefusal : public std::enable_shared_from_this<HttpRefusal> {
public:
    // `live` counts the refusals under way, for the server to bound them.
    HttpRefusal(boost::asio::ip::tcp::socket socket, std::atomic<int>& live);
    ~HttpRefusal();
    HttpRefusal(const HttpRefusal&) = delete;
    HttpRefusal& operator=(const HttpRefusal&) = delete;
    void start();

    static const std::string& answer();

private:
    void drain();

    boost::beast::tcp_stream m_stream;
    std::atomic<int>& m_live;
    char m_drain[1024];
};
