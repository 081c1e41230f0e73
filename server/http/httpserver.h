#pragma once

#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/http/trustedproxies.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class HttpConnection;
class WorkerPool;

// An HTTP/1.1 server on a few threads that share one event loop: it accepts,
// holds every client to HttpLimits and hands each whole request to the
// handler, whose answer goes back in one write (or, streamed, a piece at a
// time, each pulled once the last is written). stop() returns at once,
// whatever the clients are doing; shutdown() first lets the requests under
// way finish.
class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    // The answer to a request refused before it reached the handler (400,
    // 413, 431).
    using RefusalPage = std::function<HttpResponse(int status)>;

    // What a shutdown waited for.
    struct Drain {
        // Connections that had a request head (or an answer on its way) when
        // the shutdown began.
        int inFlight = 0;
        // Answers written to the end while shutting down.
        int answered = 0;
        // Connections still open at the limit, closed unanswered.
        int cut = 0;
    };

    HttpServer(Handler handler, RefusalPage refusalPage);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before listen(): whose X-Forwarded-For is taken (see TrustedProxies).
    void setTrustedProxies(TrustedProxies proxies) { m_proxies = std::move(proxies); }
    // The client a request from `peer` speaks for.
    std::string clientOf(const HttpRequest& request, const std::string& peer) const {
        return m_proxies.clientOf(request, peer);
    }

    // Binds, listens and starts serving. Port 0 takes a free port. The
    // bound port, or 0 with the reason in *error.
    int listen(const std::string& host, int port, std::string* error);
    void stop();
    // Stops accepting at once and closes the connections that wait for a
    // request; a request whose head has arrived is served, its answer saying
    // the connection closes. Whatever is still open after `limit` is closed
    // as by stop(). Blocks until the server has stopped.
    Drain shutdown(std::chrono::milliseconds limit);
    bool isRunning() const { return !m_loops.empty(); }
    // Levels for the operator, at the moment they are asked for.
    int openConnections() const;
    std::size_t queuedJobs() const;

    // For the connections.
    HttpResponse answer(const HttpRequest& request) const;
    HttpResponse refusal(int status) const;
    // Runs `job` on a worker; false when every worker is busy and the queue
    // is full.
    bool runLater(std::function<void()> job);
    void release(const std::string& clientKey, const HttpConnection* connection);
    bool isDraining() const { return m_draining.load(); }
    void noteInFlight() { ++m_inFlight; }
    void noteAnswered() { ++m_answered; }

private:
    bool bind(const std::string& host, int port, std::string* error);
    void accept();
    void onAccept(const boost::system::error_code& ec, boost::asio::ip::tcp::socket socket);
    // Counts a new connection of `clientKey` in; when a cap is reached, the
    // oldest connection that has not yet sent a whole head (of the same
    // client when it is the client's cap) makes room. False when none can.
    // A trusted proxy (`proxy`) is held only to the overall cap.
    bool admit(const std::string& clientKey, bool proxy);
    struct Tracked;
    const Tracked* oldestWaitingForHead(const std::string* clientKey) const;
    void refuse(boost::asio::ip::tcp::socket socket);
    // Under the count lock.
    void uncount(const std::string& clientKey);
    void track(const std::shared_ptr<HttpConnection>& connection, const std::string& clientKey);
    void closeAcceptor();
    // Tells every open connection, on its own strand, that the server drains.
    void drainConnections();

    Handler m_handler;
    TrustedProxies m_proxies;
    RefusalPage m_refusalPage;
    std::vector<std::unique_ptr<boost::asio::io_context>> m_loops;
    // Only the acceptor's loop takes it.
    std::size_t m_nextLoop = 0;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> m_acceptor;
    std::unique_ptr<boost::asio::steady_timer> m_retry;
    std::vector<std::thread> m_threads;
    std::unique_ptr<WorkerPool> m_workers;
    mutable std::mutex m_countMutex;
    int m_connections = 0;
    std::unordered_map<std::string, int> m_perClient;
    // The open connections, oldest first, and where each stands in the list.
    struct Tracked {
        HttpConnection* connection;
        std::weak_ptr<HttpConnection> weak;
        std::string clientKey;
    };
    std::list<Tracked> m_open;
    std::unordered_map<const HttpConnection*, std::list<Tracked>::iterator> m_openAt;
    std::atomic<int> m_refusing = 0;
    std::condition_variable m_allClosed;
    std::atomic<bool> m_draining = false;
    std::atomic<int> m_inFlight = 0;
    std::atomic<int> m_answered = 0;
};
