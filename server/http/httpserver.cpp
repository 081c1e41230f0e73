#include "server/http/httpserver.h"

#include "server/http/clientkey.h"
#include "server/http/httpconnection.h"
#include "server/http/httplimits.h"
#include "server/http/httprefusal.h"
#include "server/http/workerpool.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

HttpServer::HttpServer(Handler handler, RefusalPage refusalPage)
    : m_handler(std::move(handler)), m_refusalPage(std::move(refusalPage)) {}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::listen(const std::string& host, int port, std::string* error) {
    if (isRunning()) {
        *error = "already listening";
        return 0;
    }
    // A loop per thread, each connection on one of them: a request is read,
    // answered and written on one thread, with no hand-over between threads
    // (a shared loop spent half its time waking threads).
    for (int i = 0; i < HttpLimits::kIoThreads; ++i)
        m_loops.push_back(std::make_unique<asio::io_context>(1));
    m_workers =
        std::make_unique<WorkerPool>(HttpLimits::kWorkerThreads, HttpLimits::kMaxQueuedJobs);
    m_draining = false;
    m_inFlight = 0;
    m_answered = 0;
    if (!bind(host, port, error)) {
        stop();
        return 0;
    }
    const int bound = m_acceptor->local_endpoint().port();
    m_retry = std::make_unique<asio::steady_timer>(m_acceptor->get_executor());
    accept();
    for (const auto& loop : m_loops)
        m_threads.emplace_back([io = loop.get()] {
            // Runs until stop(), even while no connection is open.
            auto guard = asio::make_work_guard(*io);
            io->run();
        });
    return bound;
}

bool HttpServer::bind(const std::string& host, int port, std::string* error) {
    boost::system::error_code ec;
    tcp::endpoint endpoint;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (!ec) {
        endpoint = tcp::endpoint(address, static_cast<unsigned short>(port));
    } else {
        tcp::resolver resolver(*m_loops.front());
        const auto found = resolver.resolve(host, std::to_string(port), ec);
        if (ec || found.empty()) {
            *error = "cannot resolve " + host;
            return false;
        }
        endpoint = *found.begin();
    }
    // On the first loop: accepting, retrying and a shutdown's close run one
    // at a time.
    m_acceptor = std::make_unique<tcp::acceptor>(*m_loops.front());
    // Address reuse only, so that a restart does not wait for old sockets in
    // TIME_WAIT; not port reuse, which would let a second server share a port
    // that is in use and take half of its requests.
    if (m_acceptor->open(endpoint.protocol(), ec) ||
        m_acceptor->set_option(asio::socket_base::reuse_address(true), ec) ||
        m_acceptor->bind(endpoint, ec) ||
        m_acceptor->listen(asio::socket_base::max_listen_connections, ec)) {
        *error = ec.message();
        return false;
    }
    return true;
}

void HttpServer::stop() {
    if (!isRunning())
        return;
    // First the workers, while the loops still run: a job under way finishes
    // and hands its answer to a living loop; a queued one is dropped with
    // the connection it holds.
    m_workers->stop();
    // Stopping the loops abandons every pending read and write at once; the
    // connections are freed when the loops are destroyed below.
    for (const auto& loop : m_loops)
        loop->stop();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_retry.reset();
    m_acceptor.reset();
    m_loops.clear();
    m_workers.reset();
}

HttpServer::Drain HttpServer::shutdown(std::chrono::milliseconds limit) {
    Drain drain;
    if (!isRunning())
        return drain;
    const auto began = std::chrono::steady_clock::now();
    // Set before the open connections are listed: one tracked after the list
    // is taken sees the flag at its first read and closes.
    m_draining = true;
    asio::post(m_acceptor->get_executor(), [this] { closeAcceptor(); });
    drainConnections();
    {
        std::unique_lock lock(m_countMutex);
        m_allClosed.wait_until(lock, began + limit, [this] { return m_open.empty(); });
        drain.cut = int(m_open.size());
    }
    stop();
    drain.inFlight = m_inFlight;
    drain.answered = m_answered;
    return drain;
}

void HttpServer::closeAcceptor() {
    boost::system::error_code ignored;
    m_acceptor->close(ignored);
    m_retry->cancel();
}

void HttpServer::drainConnections() {
    std::vector<std::shared_ptr<HttpConnection>> open;
    {
        std::lock_guard lock(m_countMutex);
        for (const Tracked& tracked : m_open)
            if (auto connection = tracked.weak.lock())
                open.push_back(std::move(connection));
    }
    for (const auto& connection : open)
        connection->onServerDraining();
}

void HttpServer::accept() {
    // Each connection on the next loop in turn, on a strand of its own, as
    // its drain is posted from another thread.
    asio::io_context& loop = *m_loops[m_nextLoop++ % m_loops.size()];
    m_acceptor->async_accept(asio::make_strand(loop),
                             [this](const boost::system::error_code& ec, tcp::socket socket) {
                                 onAccept(ec, std::move(socket));
                             });
}

void HttpServer::onAccept(const boost::system::error_code& ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || m_draining)
        return;
    if (ec) {
        // Out of descriptors, most likely: try again shortly rather than spin.
        m_retry->expires_after(std::chrono::milliseconds(50));
        m_retry->async_wait([this](const boost::system::error_code& waitError) {
            if (!waitError && !m_draining)
                accept();
        });
        return;
    }
    boost::system::error_code ignored;
    const std::string address = socket.remote_endpoint(ignored).address().to_string(ignored);
    const std::string clientKey = ClientKey::of(address);
    if (admit(clientKey, m_proxies.trusts(address))) {
        // Answers leave in one write each; without this the kernel would
        // hold a small answer back waiting for the client's delayed ACK.
        socket.set_option(tcp::no_delay(true), ignored);
        auto connection =
            std::make_shared<HttpConnection>(std::move(socket), *this, address, clientKey);
        track(connection, clientKey);
        connection->start();
    } else {
        refuse(std::move(socket));
    }
    accept();
}

void HttpServer::refuse(tcp::socket socket) {
    // Refusals wait a moment for the answer to leave; past a bound, a
    // flood of them gets a bare close.
    if (m_refusing.load() >= HttpLimits::kMaxRefusalsAnswered) {
        boost::system::error_code ignored;
        socket.close(ignored);
        return;
    }
    std::make_shared<HttpRefusal>(std::move(socket), m_refusing)->start();
}

bool HttpServer::admit(const std::string& clientKey, bool proxy) {
    std::weak_ptr<HttpConnection> shed;
    {
        std::lock_guard lock(m_countMutex);
        const auto known = m_perClient.find(clientKey);
        const bool clientFull = !proxy && known != m_perClient.end() &&
                                known->second >= HttpLimits::kMaxConnectionsPerAddress;
        if (clientFull || m_connections >= HttpLimits::kMaxConnections) {
            const Tracked* oldest = oldestWaitingForHead(clientFull ? &clientKey : nullptr);
            if (!oldest)
                return false;
            // Its place is the new one's from now on, whenever it closes.
            oldest->connection->markShed();
            shed = oldest->weak;
            uncount(oldest->clientKey);
        }
        ++m_connections;
        ++m_perClient[clientKey];
    }
    // Outside the lock: the last reference may go here, and a connection's
    // end takes the lock.
    if (auto connection = shed.lock())
        connection->closeShed();
    return true;
}

// A connection that has not sent a whole head has nothing under way, and a
// client that holds many such can only be holding them to keep others out.
// The pointers are alive while listed: a connection's end unlists it under
// the lock the caller holds.
const HttpServer::Tracked* HttpServer::oldestWaitingForHead(const std::string* clientKey) const {
    for (const Tracked& tracked : m_open) {
        if (clientKey && tracked.clientKey != *clientKey)
            continue;
        if (tracked.connection->waitingForHead() && !tracked.connection->isShed())
            return &tracked;
    }
    return nullptr;
}

void HttpServer::track(const std::shared_ptr<HttpConnection>& connection,
                       const std::string& clientKey) {
    std::lock_guard lock(m_countMutex);
    m_open.push_back({connection.get(), connection, clientKey});
    m_openAt.emplace(connection.get(), std::prev(m_open.end()));
}

void HttpServer::release(const std::string& clientKey, const HttpConnection* connection) {
    std::lock_guard lock(m_countMutex);
    if (const auto at = m_openAt.find(connection); at != m_openAt.end()) {
        m_open.erase(at->second);
        m_openAt.erase(at);
    }
    // A shed connection gave its place away when it was chosen.
    if (!connection->isShed())
        uncount(clientKey);
    if (m_open.empty())
        m_allClosed.notify_all();
}

void HttpServer::uncount(const std::string& clientKey) {
    --m_connections;
    const auto it = m_perClient.find(clientKey);
    if (it != m_perClient.end() && --it->second <= 0)
        m_perClient.erase(it);
}

HttpResponse HttpServer::answer(const HttpRequest& request) const {
    return m_handler(request);
}

HttpResponse HttpServer::refusal(int status) const {
    return m_refusalPage(status);
}

int HttpServer::openConnections() const {
    std::lock_guard lock(m_countMutex);
    return m_connections;
}

std::size_t HttpServer::queuedJobs() const {
    return m_workers ? m_workers->queued() : 0;
}

bool HttpServer::runLater(std::function<void()> job) {
    return m_workers && m_workers->trySubmit(std::move(job));
}
