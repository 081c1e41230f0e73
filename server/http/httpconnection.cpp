#include "server/http/httpconnection.h"

#include "server/http/httplimits.h"
#include "server/http/httpserver.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <cstdio>

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

// One piece as an HTTP/1.1 chunk; the last one followed by the empty chunk
// that ends the body. An empty piece that is not the last is sent as
// nothing, since an empty chunk would end the body early.
std::string chunked(const std::string& piece, bool last) {
    std::string wire;
    if (!piece.empty()) {
        char size[20];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        wire.reserve(piece.size() + 32);
        wire += size;
        wire += piece;
        wire += "\r\n";
    }
    if (last)
        wire += "0\r\n\r\n";
    return wire;
}

} // namespace

HttpConnection::HttpConnection(boost::asio::ip::tcp::socket socket, HttpServer& server,
                               std::string address, std::string clientKey)
    : m_stream(std::move(socket)), m_pullRetry(m_stream.get_executor()), m_server(server),
      m_address(std::move(address)), m_clientKey(std::move(clientKey)) {}

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
                              [self, made = std::move(made)]() mutable { self->send(made); });
        };
        response.later = nullptr;
        if (m_server.runLater(std::move(work)))
            return;
        if (response.notTaken)
            response.notTaken();
    }
    send(response);
}

void HttpConnection::send(HttpResponse& response) {
    const bool keepAlive = m_parser->keep_alive() && !response.close && !m_server.isDraining();
    const bool withBody = m_parser->request().method != "HEAD";
    m_firstRequest = false;
    if (response.stream)
        return startStream(response, keepAlive, withBody);
    write(response.serialized(keepAlive, withBody), keepAlive);
}

// The head goes first; each piece is pulled once the write before it is
// done. An HTTP/1.0 client knows no chunks: its body ends with the close.
void HttpConnection::startStream(HttpResponse& response, bool keepAlive, bool withBody) {
    m_chunked = m_parser->version() >= 11;
    m_streamKeepAlive = keepAlive && m_chunked;
    if (!withBody)
        return write(response.streamHead(m_streamKeepAlive, m_chunked), m_streamKeepAlive);
    m_body = std::move(response.stream);
    writePiece(response.streamHead(m_streamKeepAlive, m_chunked), false);
}

// A piece is made on a worker, never here: it may read a database. The
// stream is touched by one thread at a time, as a pull and a write of this
// connection never overlap.
void HttpConnection::pullPiece() {
    auto job = [self = shared_from_this()] {
        std::string piece;
        HttpResponse::Pull pull = HttpResponse::Pull::Failed;
        try {
            pull = self->m_body(piece);
        } catch (...) {
            // Cut like any other failure; a worker must not die of it.
        }
        boost::asio::post(self->m_stream.get_executor(),
                          [self, pull, piece = std::move(piece)]() mutable {
                              self->onPulled(pull, std::move(piece));
                          });
    };
    if (!m_server.runLater(std::move(job)))
        retryPull();
}

void HttpConnection::retryPull() {
    if (std::chrono::steady_clock::now() >= m_pullDeadline)
        return abortStream();
    m_pullRetry.expires_after(HttpLimits::kStreamRetry);
    m_pullRetry.async_wait([self = shared_from_this()](const error_code& ec) {
        if (!ec)
            self->pullPiece();
    });
}

void HttpConnection::onPulled(HttpResponse::Pull pull, std::string piece) {
    if (pull == HttpResponse::Pull::Failed)
        return abortStream();
    const bool last = pull == HttpResponse::Pull::End;
    if (piece.empty() && !last)
        return pullPiece();
    writePiece(m_chunked ? chunked(piece, last) : std::move(piece), last);
}

void HttpConnection::writePiece(std::string wire, bool last) {
    m_wire = std::move(wire);
    m_writing = true;
    m_stream.expires_after(HttpLimits::kWriteDeadline);
    boost::asio::async_write(m_stream, boost::asio::buffer(m_wire),
                             [self = shared_from_this(), last](const error_code& ec, std::size_t) {
                                 self->onPieceWritten(ec, last);
                             });
}

void HttpConnection::onPieceWritten(const error_code& ec, bool last) {
    if (ec || last) {
        // The client went, or the body is whole: what made it goes now.
        m_body = nullptr;
        return onWritten(ec, m_streamKeepAlive);
    }
    m_wire.clear();
    m_writing = false;
    m_pullDeadline = std::chrono::steady_clock::now() + HttpLimits::kWriteDeadline;
    pullPiece();
}

// The status is sent: all that can still tell the client is a reset rather
// than the end of the body, which a chunked body would need and an HTTP/1.0
// one could not tell from a close.
void HttpConnection::abortStream() {
    m_body = nullptr;
    m_writing = false;
    error_code ignored;
    m_stream.socket().set_option(boost::asio::socket_base::linger(true, 0), ignored);
    close();
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
