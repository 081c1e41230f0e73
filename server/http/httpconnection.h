#pragma once

#include "server/http/httprequestparser.h"
#include "server/http/httpresponse.h"

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <memory>
#include <string>

class HttpServer;

// One client socket, driven by asynchronous reads and writes on its own
// strand, so that a slow client holds no thread. Requests are read one after
// another from one buffer: bytes of a pipelined next request wait there and
// are answered in order. Each request must arrive whole before its deadline,
// however the bytes trickle in. While the server drains, a request whose
// head has arrived is still served, its answer closing the connection.
// A streamed body is pulled a piece at a time on the server's workers, the
// next piece only once the last one is written.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    // `clientKey` is what the server counts the connection against.
    HttpConnection(boost::asio::ip::tcp::socket socket, HttpServer& server, std::string address,
                   std::string clientKey);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void start();
    // May be called from any thread.
    void onServerDraining();
    // Between requests or inside a head: nothing under way would be lost.
    bool waitingForHead() const { return m_waitingForHead.load(); }
    // The server chose this one to make room for a new client; it closes
    // unless its head has arrived by then.
    void markShed() { m_shed = true; }
    bool isShed() const { return m_shed.load(); }
    void closeShed();

private:
    using error_code = boost::beast::error_code;

    void readRequest();
    void readMore();
    void onRead(const error_code& ec, std::size_t bytes);
    void parseBuffered();
    bool wantsContinue();
    void sendContinue();
    void answer();
    void send(HttpResponse& response);
    void startStream(HttpResponse& response, bool keepAlive, bool withBody);
    void pullPiece();
    void retryPull();
    void onPulled(HttpResponse::Pull pull, std::string piece);
    void writePiece(std::string wire, bool last);
    void onPieceWritten(const error_code& ec, bool last);
    void abortStream();
    void refuse(HttpRequestParser::Refusal refusal);
    void write(std::string wire, bool keepAlive);
    void onWritten(const error_code& ec, bool keepAlive);
    void drainAndClose();
    void drain();
    void close();
    void drainNow();
    bool headArrived() const;

    boost::beast::tcp_stream m_stream;
    boost::beast::flat_buffer m_buffer;
    std::unique_ptr<HttpRequestParser> m_parser;
    std::chrono::steady_clock::time_point m_deadline;
    std::chrono::steady_clock::time_point m_headDeadline;
    bool m_requestStarted = false;
    bool m_firstRequest = true;
    bool m_continueSent = false;
    // Whether a read of request bytes (not of lingering ones) is pending.
    bool m_reading = false;
    // Whether an answer is being written.
    bool m_writing = false;
    std::string m_wire;
    // The body under way, its framing, and until when a pull that finds
    // every worker busy is tried again.
    HttpResponse::BodyStream m_body;
    bool m_chunked = false;
    bool m_streamKeepAlive = false;
    std::chrono::steady_clock::time_point m_pullDeadline;
    boost::asio::steady_timer m_pullRetry;
    char m_drain[4096];
    HttpServer& m_server;
    std::string m_address;
    std::string m_clientKey;
    std::atomic<bool> m_waitingForHead = true;
    std::atomic<bool> m_shed = false;
};
