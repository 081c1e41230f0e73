#include "server/http/httprefusal.h"

#include <boost/asio/write.hpp>
#include <chrono>

namespace {
// Short: a refused client must not hold a descriptor for long.
constexpr std::chrono::seconds kLinger{1};
} // namespace

HttpRefusal::HttpRefusal(boost::asio::ip::tcp::socket socket, std::atomic<int>& live)
    : m_stream(std::move(socket)), m_live(live) {
    ++m_live;
}

HttpRefusal::~HttpRefusal() {
    --m_live;
}

const std::string& HttpRefusal::answer() {
    static const std::string text = "HTTP/1.1 503 Service Unavailable\r\n"
                                    "Content-Type: text/plain; charset=utf-8\r\n"
                                    "Content-Length: 17\r\nRetry-After: 1\r\n"
                                    "Connection: close\r\n\r\n"
                                    "Too many clients\n";
    return text;
}

void HttpRefusal::start() {
    m_stream.expires_after(kLinger);
    boost::asio::async_write(
        m_stream, boost::asio::buffer(answer()),
        [self = shared_from_this()](const boost::beast::error_code& ec, std::size_t) {
            boost::beast::error_code ignored;
            if (ec)
                return void(self->m_stream.socket().close(ignored));
            self->m_stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
            self->drain();
        });
}

void HttpRefusal::drain() {
    m_stream.async_read_some(
        boost::asio::buffer(m_drain),
        [self = shared_from_this()](const boost::beast::error_code& ec, std::size_t) {
            if (!ec)
                return self->drain();
            boost::beast::error_code ignored;
            self->m_stream.socket().close(ignored);
        });
}
