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
#include <stdexcept>
#include <string>
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

// A streamed body of `count` pieces, piece i of kPiece letters 'a' + i % 26
// but every fifth one empty; it fails instead of giving piece `failAt`
// (throws, with `throws`). Counts what it made, and its release.
struct Pieces {
    static constexpr std::size_t kPiece = 64 * 1024;
    struct Seen {
        std::atomic<int> pulls = 0;
        std::atomic<long long> bytes = 0;
        std::atomic<bool> released = false;
    };

    std::shared_ptr<Seen> seen;
    int count = 0;
    int failAt = -1;
    bool throws = false;

    ~Pieces() { seen->released = true; }

    static std::string piece(int i) {
        return i % 5 == 4 ? std::string() : std::string(kPiece, char('a' + i % 26));
    }
    HttpResponse::Pull next(std::string& out) {
        const int i = seen->pulls++;
        if (i == failAt && throws)
            throw std::runtime_error("cannot make it");
        if (i == failAt)
            return HttpResponse::Pull::Failed;
        out = piece(i);
        seen->bytes += qint64(out.size());
        return i + 1 < count ? HttpResponse::Pull::More : HttpResponse::Pull::End;
    }
};

// Serves /stream?pieces=N&fail=K&throw=1 as a streamed body, anything else
// as a short page.
HttpResponse streamed(const HttpRequest& req, const std::shared_ptr<Pieces::Seen>& seen) {
    HttpResponse res;
    if (req.path != "/stream") {
        res.body = "page";
        return res;
    }
    auto pieces = std::make_shared<Pieces>();
    pieces->seen = seen;
    pieces->count = std::stoi(req.param("pieces"));
    pieces->failAt = req.hasParam("fail") ? std::stoi(req.param("fail")) : -1;
    pieces->throws = req.hasParam("throw");
    res.contentType = "text/plain";
    res.stream = [pieces](std::string& piece) { return pieces->next(piece); };
    return res;
}

// The body of a chunked answer's bytes after its head; false when it does
// not end with the last chunk or is not well framed.
bool unchunked(QByteArray wire, QByteArray* body) {
    for (;;) {
        const qsizetype line = wire.indexOf("\r\n");
        bool ok = false;
        const qsizetype size = line > 0 ? wire.left(line).toLongLong(&ok, 16) : -1;
        if (!ok || wire.size() < line + 2 + size + 2 || wire.mid(line + 2 + size, 2) != "\r\n")
            return false;
        if (size == 0)
            return wire.size() == line + 4;
        *body += wire.mid(line + 2, size);
        wire.remove(0, line + 2 + size + 2);
    }
}

// An answer's head, read to its blank line and no further.
QByteArray headOf(RawSocket& client) {
    QByteArray head;
    while (!head.endsWith("\r\n\r\n") && client.isOpen()) {
        const QByteArray byte = client.readBytes(1, 5000);
        if (byte.isEmpty())
            break;
        head += byte;
    }
    return head;
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

    // A streamed body as each kind of client sees it: chunked to HTTP/1.1
    // (an empty piece sent as nothing, the connection kept), ended by the
    // close for HTTP/1.0, only the head for HEAD, and a failure as a reset
    // without the last chunk. The stream is released however it ends.
    void streamedBodyFraming_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("pulls");
        QTest::addColumn<bool>("whole");

        const QByteArray stream = "/stream?pieces=12";
        QTest::newRow("HTTP/1.1, chunked") << get(stream) << 12 << true;
        QTest::newRow("HTTP/1.0, until the close") << "GET " + stream + " HTTP/1.0\r\n\r\n"
                                                   << 12 << true;
        QTest::newRow("HEAD") << "HEAD " + stream + " HTTP/1.1\r\nHost: x\r\n\r\n" << 0 << true;
        QTest::newRow("fails mid-way") << get(stream + "&fail=7") << 8 << false;
        QTest::newRow("throws mid-way") << get(stream + "&fail=7&throw=1") << 8 << false;
    }
    void streamedBodyFraming() {
        QFETCH(QByteArray, request);
        QFETCH(int, pulls);
        QFETCH(bool, whole);
        auto seen = std::make_shared<Pieces::Seen>();
        HttpServer server([seen](const HttpRequest& req) { return streamed(req, seen); }, refusal);
        const int port = listening(server);
        QVERIFY(port > 0);
        RawSocket client;
        QVERIFY(client.connectTo(port) && client.send(request));
        const bool chunked = request.contains("HTTP/1.1") && !request.startsWith("HEAD");
        const QByteArray head = headOf(client);
        QCOMPARE(RawSocket::statusOf(head), 200);
        QCOMPARE(RawSocket::headerOf(head, "transfer-encoding"),
                 request.contains("HTTP/1.1") ? QByteArray("chunked") : QByteArray());
        QVERIFY(RawSocket::headerOf(head, "content-length").isEmpty());

        QByteArray expected;
        for (int i = 0; i < pulls - (whole ? 0 : 1); ++i)
            expected += QByteArray::fromStdString(Pieces::piece(i));
        if (request.startsWith("HEAD")) {
            // Kept alive with nothing after the head: the next answer is a page.
            QVERIFY(client.send(get("/")));
            QVERIFY(client.readResponse(5000).endsWith("page"));
        } else if (chunked && whole) {
            QByteArray wire;
            QDeadlineTimer limit(5000);
            while (!wire.endsWith("\r\n0\r\n\r\n") && client.isOpen() && !limit.hasExpired())
                wire += client.readBytes(1 << 20, 50);
            QByteArray body;
            QVERIFY(unchunked(wire, &body));
            QCOMPARE(body, expected);
            QVERIFY(client.send(get("/")));
            QVERIFY(client.readResponse(5000).endsWith("page"));
        } else {
            bool reset = false;
            const QByteArray rest = client.readUntilClosed(5000, &reset);
            QCOMPARE(reset, !whole);
            QByteArray body;
            if (chunked)
                QVERIFY(!unchunked(rest, &body));
            else
                body = rest;
            if (whole)
                QCOMPARE(body, expected);
            else
                QVERIFY(expected.startsWith(body));
        }
        QCOMPARE(seen->pulls.load(), pulls);
        QTRY_VERIFY(seen->released.load());
        server.stop();
    }

    // A reader that stops holds the stream back: the server makes no more
    // than what the kernels between them can hold ahead of what was read.
    // One that goes away mid-way releases the stream at the next write.
    void streamedBodyFollowsTheReader() {
        auto seen = std::make_shared<Pieces::Seen>();
        HttpServer server([seen](const HttpRequest& req) { return streamed(req, seen); }, refusal);
        const int port = listening(server);
        QVERIFY(port > 0);
        // 64 MiB; the server's send buffer is at most 4 MiB here, the
        // client's fixed at 256 KiB.
        constexpr int kPieces = 1024;
        constexpr qint64 kAhead = 8 << 20;
        RawSocket client;
        client.setReceiveBuffer(256 * 1024);
        QVERIFY(client.connectTo(port));
        QVERIFY(client.send(get("/stream?pieces=" + QByteArray::number(kPieces))));
        QTRY_VERIFY(seen->bytes.load() >= qint64(Pieces::kPiece));

        qint64 read = 0;
        for (int step = 0; step < 16; ++step) {
            QVERIFY2(
                seen->bytes.load() - read <= kAhead,
                qPrintable(QStringLiteral("%1 bytes made, %2 read").arg(seen->bytes).arg(read)));
            const QByteArray bytes = client.readBytes(1 << 20, 5000);
            QCOMPARE(bytes.size(), 1 << 20);
            read += bytes.size();
        }
        QVERIFY(!seen->released.load());
        client.close();
        QTRY_VERIFY(seen->released.load());
        QVERIFY(seen->pulls.load() < kPieces);

        // A stream held up by its reader does not hold up stop() either.
        seen->pulls = 0;
        seen->released = false;
        RawSocket stuck;
        QVERIFY(stuck.connectTo(port) && stuck.send(get("/stream?pieces=100000")));
        QTRY_VERIFY(seen->pulls.load() > 1);
        server.stop();
        QVERIFY(seen->released.load());
    }
};

QTEST_GUILESS_MAIN(TestHttpWorkers)
#include "tst_httpworkers.moc"
