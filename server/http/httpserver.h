#pragma once

#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// An HTTP/1.1 server on a few threads that share one event loop: it accepts,
// holds every client to HttpLimits and hands each whole request to the
// handler, whose answer goes back in one write. stop() returns at once,
// whatever the clients are doing.
class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    // The answer to a request refused before it reached the handler (400,
    // 413, 431).
    using RefusalPage = std::function<HttpResponse(int status)>;

    HttpServer(Handler handler, RefusalPage refusalPage);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds, listens and starts serving. Port 0 takes a free port. The
    // bound port, or 0 with the reason in *error.
    int listen(const std::string& host, int port, std::string* error);
    void stop();
    bool isRunning() const { return m_io != nullptr; }

    // For the connections.
    HttpResponse answer(const HttpRequest& request) const;
    HttpResponse refusal(int status) const;
    void release(const std::string& address);

private:
    bool bind(const std::string& host, int port, std::string* error);
    void accept();
    void onAccept(const boost::system::error_code& ec, boost::asio::ip::tcp::socket socket);
    bool admit(const std::string& address);

    Handler m_handler;
    RefusalPage m_refusalPage;
    std::unique_ptr<boost::asio::io_context> m_io;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> m_acceptor;
    std::unique_ptr<boost::asio::steady_timer> m_retry;
    std::vector<std::thread> m_threads;
    std::mutex m_countMutex;
    int m_connections = 0;
    std::unordered_map<std::string, int> m_perAddress;
};
