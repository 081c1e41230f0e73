#include "server/http/httplimits.h"
#include "server/http/httpserver.h"
#include "support/server/rawsocket.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {

QByteArray get(const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// Costly requests whose work waits on a gate the test opens.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> arrived = 0;
    std::atomic<int> working = 0;
    std::atomic<int> notTaken = 0;

    void waitOpen() {
        ++working;
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void release() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

HttpResponse refusal(int status) {
    HttpResponse res;
    res.status = status;
    return res;
}

int listening(HttpServer& server) {
    std::string error;
    const int port = server.listen("127.0.0.1", 0, &error);
    if (port <= 0)
        qWarning("cannot listen: %s", error.c_str());
    return port;
}

} // namespace

// Work a route hands to the server's workers: it never holds a network
// thread, and what finds every worker busy and the queue full is answered
// at once with the route's own refusal.
class TestHttpWorkers : public QObject {
    Q_OBJECT

private slots:
    void costlyWorkWaitsOnWorkersNotOnTheNetwork() {
        auto gate = std::make_shared<Gate>();
        HttpServer server(
            [gate](const HttpRequest& req) {
                HttpResponse res;
                if (req.path != "/slow") {
                    res.body = "page";
                    return res;
                }
                ++gate->arrived;
                res.status = 503;
                res.body = "busy";
                res.notTaken = [gate] { ++gate->notTaken; };
                res.later = [gate] {
                    gate->waitOpen();
                    HttpResponse done;
                    done.body = "done";
                    return done;
                };
                return res;
            },
            refusal);
        const int port = listening(server);
        QVERIFY(port > 0);

        // Every worker busy and the queue full, and one more: which one of
        // them finds the queue full depends on the network threads' order.
        const auto opened = qScopeGuard([gate] { gate->release(); });
        const int capacity = HttpLimits::kWorkerThreads + int(HttpLimits::kMaxQueuedJobs);
        std::vector<std::unique_ptr<RawSocket>> slow;
        for (int i = 0; i <= capacity; ++i) {
            // The workers take their jobs before the queue fills.
            if (i == HttpLimits::kWorkerThreads)
                QTRY_COMPARE(gate->working.load(), HttpLimits::kWorkerThreads);
            slow.push_back(std::make_unique<RawSocket>());
            QVERIFY(slow.back()->connectTo(port));
            QVERIFY(slow.back()->send(get("/slow")));
        }
        QTRY_COMPARE(gate->arrived.load(), capacity + 1);

        // That one is refused at once; pages are served all the while, by
        // more clients than there are network threads.
        QDeadlineTimer limit(3000);
        qsizetype refused = -1;
        while (refused < 0 && !limit.hasExpired())
            for (qsizetype i = 0; i < qsizetype(slow.size()) && refused < 0; ++i)
                if (slow[i]->readResponse(10).endsWith("busy"))
                    refused = i;
        QVERIFY(refused >= 0);
        // The route hears of it, and the levels an operator reads show the
        // full queue and every one of these clients.
        QCOMPARE(gate->notTaken.load(), 1);
        QCOMPARE(server.queuedJobs(), HttpLimits::kMaxQueuedJobs);
        QCOMPARE(server.openConnections(), capacity + 1);
        slow.erase(slow.begin() + refused);
        for (int i = 0; i < 2 * HttpLimits::kIoThreads; ++i) {
            RawSocket page;
            QVERIFY(page.connectTo(port) && page.send(get("/")));
            QVERIFY(page.readResponse(3000).endsWith("page"));
        }
        QCOMPARE(gate->working.load(), HttpLimits::kWorkerThreads);

        // Each waiting request gets the answer its work made.
        gate->release();
        for (const auto& socket : slow) {
            const QByteArray answer = socket->readResponse(5000);
            QCOMPARE(RawSocket::statusOf(answer), 200);
            QVERIFY(answer.endsWith("done"));
        }
        QCOMPARE(gate->working.load(), capacity);
        QCOMPARE(gate->notTaken.load(), 1);
        QCOMPARE(server.queuedJobs(), std::size_t(0));
        server.stop();
    }

    void stopDropsQueuedWorkAndFinishesTheRest() {
        auto gate = std::make_shared<Gate>();
        std::atomic<int> finished = 0;
        HttpServer server(
            [gate, &finished](const HttpRequest&) {
                HttpResponse res;
                res.later = [gate, &finished] {
                    gate->waitOpen();
                    ++finished;
                    return HttpResponse();
                };
                return res;
            },
            refusal);
        const int port = listening(server);
        QVERIFY(port > 0);
        std::vector<std::unique_ptr<RawSocket>> clients;
        for (int i = 0; i < HttpLimits::kWorkerThreads + 3; ++i) {
            clients.push_back(std::make_unique<RawSocket>());
            QVERIFY(clients.back()->connectTo(port) && clients.back()->send(get("/x")));
        }
        const auto opened = qScopeGuard([gate] { gate->release(); });
        QTRY_COMPARE(gate->working.load(), HttpLimits::kWorkerThreads);
        // stop() waits for the jobs under way; open the gate from elsewhere.
        std::thread opener([gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate->release();
        });
        server.stop();
        opener.join();
        QCOMPARE(finished.load(), HttpLimits::kWorkerThreads);
        for (const auto& client : clients)
            QVERIFY(client->closedWithin(2000));
    }
};

QTEST_GUILESS_MAIN(TestHttpWorkers)
#include "tst_httpworkers.moc"
