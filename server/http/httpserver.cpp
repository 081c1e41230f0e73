#include "server/http/httpserver.h"

#include "server/http/httpconnection.h"
#include "server/http/httplimits.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/strand.hpp>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

HttpServer::HttpServer(Handler handler, RefusalPage refusalPage)
    : m_handler(std::move(handler)), m_refusalPage(std::move(refusalPage)) {}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::listen(const std::string& host, int port, std::string* error) {
    if (m_io) {
        *error = "already listening";
        return 0;
    }
    m_io = std::make_unique<asio::io_context>(HttpLimits::kIoThreads);
    if (!bind(host, port, error)) {
        stop();
        return 0;
    }
    const int bound = m_acceptor->local_endpoint().port();
    m_retry = std::make_unique<asio::steady_timer>(*m_io);
    accept();
    for (int i = 0; i < HttpLimits::kIoThreads; ++i)
        m_threads.emplace_back([io = m_io.get()] {
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
        tcp::resolver resolver(*m_io);
        const auto found = resolver.resolve(host, std::to_string(port), ec);
        if (ec || found.empty()) {
            *error = "cannot resolve " + host;
            return false;
        }
        endpoint = *found.begin();
    }
    m_acceptor = std::make_unique<tcp::acceptor>(*m_io);
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
    if (!m_io)
        return;
    // Stopping the loop abandons every pending read and write at once; the
    // connections are freed when the loop is destroyed below.
    m_io->stop();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_retry.reset();
    m_acceptor.reset();
    m_io.reset();
}

void HttpServer::accept() {
    m_acceptor->async_accept(asio::make_strand(*m_io),
                             [this](const boost::system::error_code& ec, tcp::socket socket) {
                                 onAccept(ec, std::move(socket));
                             });
}

void HttpServer::onAccept(const boost::system::error_code& ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted)
        return;
    if (ec) {
        // Out of descriptors, most likely: try again shortly rather than spin.
        m_retry->expires_after(std::chrono::milliseconds(50));
        m_retry->async_wait([this](const boost::system::error_code& waitError) {
            if (!waitError)
                accept();
        });
        return;
    }
    boost::system::error_code ignored;
    const std::string address = socket.remote_endpoint(ignored).address().to_string(ignored);
    if (admit(address)) {
        // Answers leave in one write each; without this the kernel would
        // hold a small answer back waiting for the client's delayed ACK.
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<HttpConnection>(std::move(socket), *this, address)->start();
    } else {
        socket.close(ignored);
    }
    accept();
}

bool HttpServer::admit(const std::string& address) {
    std::lock_guard lock(m_countMutex);
    int& fromAddress = m_perAddress[address];
    if (m_connections >= HttpLimits::kMaxConnections ||
        fromAddress >= HttpLimits::kMaxConnectionsPerAddress) {
        if (fromAddress == 0)
            m_perAddress.erase(address);
        return false;
    }
    ++m_connections;
    ++fromAddress;
    return true;
}

void HttpServer::release(const std::string& address) {
    std::lock_guard lock(m_countMutex);
    --m_connections;
    const auto it = m_perAddress.find(address);
    if (it != m_perAddress.end() && --it->second <= 0)
        m_perAddress.erase(it);
}

HttpResponse HttpServer::answer(const HttpRequest& request) const {
    return m_handler(request);
}

HttpResponse HttpServer::refusal(int status) const {
    return m_refusalPage(status);
}
