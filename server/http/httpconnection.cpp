#include "server/http/httpconnection.h"

#include "server/http/httplimits.h"
#include "server/http/httpserver.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace {

constexpr std::size_t kReadSize = 8192;

int statusFor(HttpRequestParser::Refusal refusal) {
    switch (refusal) {
    case HttpRequestParser::Refusal::HeaderTooLarge:
        return 431;
    case HttpRequestParser::Refusal::TooLarge:
        return 413;
    default:
        return 400;
    }
}

} // namespace

HttpConnection::HttpConnection(boost::asio::ip::tcp::socket socket, HttpServer& server,
                               std::string address, std::string clientKey)
    : m_stream(std::move(socket)), m_server(server), m_address(std::move(address)),
      m_clientKey(std::move(clientKey)) {}

HttpConnection::~HttpConnection() {
    m_server.release(m_clientKey, this);
}

void HttpConnection::closeShed() {
    boost::asio::post(m_stream.get_executor(), [self = shared_from_this()] {
        if (self->waitingForHead())
            self->close();
    });
}

void HttpConnection::start() {
    // On the connection's strand from the first read on, so that a drain
    // posted there never runs beside it.
    boost::asio::dispatch(m_stream.get_executor(),
                          [self = shared_from_this()] { self->readRequest(); });
}

void HttpConnection::onServerDraining() {
    boost::asio::post(m_stream.get_executor(), [self = shared_from_this()] { self->drainNow(); });
}

void HttpConnection::drainNow() {
    if (m_writing || headArrived()) {
        m_server.noteInFlight();
        return;
    }
    // Idle between requests, or a head only partly here: no request is
    // under way that the client would miss, and a slow one must not hold the
    // shutdown. The pending read ends with the socket. Bytes the kernel
    // already holds may complete a head: the read takes them first, and
    // readMore() decides once they are parsed.
    error_code ec;
    if (m_reading && m_stream.socket().available(ec) == 0)
        close();
}

bool HttpConnection::headArrived() const {
    return m_parser && m_parser->is_header_done();
}

void HttpConnection::readRequest() {
    m_parser = std::make_unique<HttpRequestParser>();
    m_waitingForHead = true;
    m_continueSent = false;
    const auto now = std::chrono::steady_clock::now();
    // A new connection has the whole request deadline from its accept; a
    // kept-alive one may idle a shorter while before its next request starts.
    m_requestStarted = m_firstRequest || m_buffer.size() > 0;
    m_deadline = now + (m_requestStarted ? HttpLimits::kRequestDeadline : HttpLimits::kIdleTimeout);
    m_headDeadline =
        now + (m_requestStarted ? HttpLimits::kHeadDeadline : HttpLimits::kIdleTimeout);
    if (m_buffer.size() > 0)
        parseBuffered();
    else
        readMore();
}

void HttpConnection::readMore() {
    // Checked here as well as in drainNow(): the server may have begun to
    // drain between this connection's accept and its first read.
    if (m_server.isDraining() && !headArrived())
        return close();
    // The same deadline for every read of one request: a byte now and then
    // does not buy more time. The head has a shorter one of its own.
    m_reading = true;
    m_stream.expires_at(headArrived() ? m_deadline : std::min(m_deadline, m_headDeadline));
    m_stream.async_read_some(m_buffer.prepare(kReadSize),
                             [self = shared_from_this()](const error_code& ec, std::size_t bytes) {
                                 self->onRead(ec, bytes);
                             });
}

void HttpConnection::onRead(const error_code& ec, std::size_t bytes) {
    m_reading = false;
    if (ec) {
        // Timed out, closed by the client or by stop(): nothing to answer.
        close();
        return;
    }
    m_buffer.commit(bytes);
    if (!m_requestStarted) {
        m_requestStarted = true;
        const auto now = std::chrono::steady_clock::now();
        m_deadline = now + HttpLimits::kRequestDeadline;
        m_headDeadline = now + HttpLimits::kHeadDeadline;
    }
    parseBuffered();
}

void HttpConnection::parseBuffered() {
    while (m_buffer.size() > 0 && !m_parser->is_done()) {
        error_code ec;
        const std::size_t used = m_parser->put(m_buffer.data(), ec);
        m_buffer.consume(used);
        if (ec == boost::beast::http::error::need_more)
            break;
        if (ec)
            return refuse(HttpRequestParser::refusalFor(ec));
        if (used == 0)
            break;
    }
    if (m_parser->is_header_done())
        m_waitingForHead = false;
    if (m_parser->is_done())
        answer();
    else if (wantsContinue())
        sendContinue();
    else
        readMore();
}

bool HttpConnection::wantsContinue() {
    // A client that asks waits for a go-ahead before sending its body (curl
    // does for uploads over a kilobyte); it is given once per request.
    if (m_continueSent || !m_parser->is_header_done() ||
        !boost::beast::iequals(m_parser->request().header("Expect"), "100-continue"))
        return false;
    m_continueSent = true;
    return true;
}

void HttpConnection::sendContinue() {
    m_wire = "HTTP/1.1 100 Continue\r\n\r\n";
    m_writing = true;
    m_stream.expires_at(m_deadline);
    boost::asio::async_write(m_stream, boost::asio::buffer(m_wire),
                             [self = shared_from_this()](const error_code& ec, std::size_t) {
                                 self->m_writing = false;
                                 if (ec)
                                     return self->close();
                                 self->readMore();
                             });
}

void HttpConnection::answer() {
    HttpRequest& request = m_parser->request();
    request.clientAddress = m_server.clientOf(request, m_address);
    HttpResponse response = m_server.answer(request);
    if (response.later) {
        // Nothing is read meanwhile: the answer comes back to this strand,
        // and the request (its head arrived) counts as under way.
        auto work = [self = shared_from_this(), later = std::move(response.later)] {
            HttpResponse made = later();
            boost::asio::post(self->m_stream.get_executor(),
                              [self, made = std::move(made)] { self->send(made); });
        };
        response.later = nullptr;
        if (m_server.runLater(std::move(work)))
            return;
        if (response.notTaken)
            response.notTaken();
    }
    send(response);
}

void HttpConnection::send(const HttpResponse& response) {
    const bool keepAlive = m_parser->keep_alive() && !response.close && !m_server.isDraining();
    m_firstRequest = false;
    write(response.serialized(keepAlive, m_parser->request().method != "HEAD"), keepAlive);
}

void HttpConnection::refuse(HttpRequestParser::Refusal refusal) {
    write(m_server.refusal(statusFor(refusal)).serialized(false, true), false);
}

void HttpConnection::write(std::string wire, bool keepAlive) {
    m_wire = std::move(wire);
    m_writing = true;
    m_stream.expires_after(HttpLimits::kWriteDeadline);
    boost::asio::async_write(
        m_stream, boost::asio::buffer(m_wire),
        [self = shared_from_this(), keepAlive](const error_code& ec, std::size_t) {
            self->onWritten(ec, keepAlive);
        });
}

void HttpConnection::onWritten(const error_code& ec, bool keepAlive) {
    m_wire.clear();
    m_writing = false;
    if (ec) {
        close();
        return;
    }
    if (m_server.isDraining())
        m_server.noteAnswered();
    // An answer that promised keep-alive before the drain began: the next
    // request is read only if its head is already here.
    if (keepAlive)
        readRequest();
    else
        drainAndClose();
}

void HttpConnection::drainAndClose() {
    // Closing with unread upload bytes would reset the connection and could
    // throw away the answer before the client reads it: say we are done,
    // then read and drop what still comes, for a short while.
    error_code ignored;
    m_stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
    m_buffer.clear();
    // Done with requests: a drain finds nothing under way here.
    m_parser.reset();
    m_deadline = std::chrono::steady_clock::now() + HttpLimits::kLingerTime;
    drain();
}

void HttpConnection::drain() {
    m_stream.expires_at(m_deadline);
    m_stream.async_read_some(boost::asio::buffer(m_drain),
                             [self = shared_from_this()](const error_code& ec, std::size_t) {
                                 if (ec)
                                     self->close();
                                 else
                                     self->drain();
                             });
}

void HttpConnection::close() {
    // The stream may have closed the socket already on its deadline.
    error_code ignored;
    m_stream.socket().close(ignored);
}
