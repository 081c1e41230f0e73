#include "server/contentserver.h"
#include "server/http/clientkey.h"
#include "server/http/httplimits.h"
#include "server/http/trustedproxies.h"
#include "support/server/rawsocket.h"
#include "support/server/storedreports.h"
#include "support/zlibpacked.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/resource.h>
#include <vector>
#include <zlib.h>

namespace {

QByteArray get(const QByteArray& path, const QByteArray& extra = {}) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

QByteArray postHead(const QByteArray& framing) {
    return "POST /analytics/report HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Encoding: gzip\r\n" +
           framing;
}

QByteArray gzipped(const QByteArray& data) {
    return zlibPacked(data, 31);
}

QByteArray chunked(const QByteArray& body, qsizetype chunk) {
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray piece = body.mid(at, chunk);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

} // namespace

// The limits of the HTTP layer, spoken to a running content server over
// plain sockets, byte for byte.
class TestHttpLimits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void headerBytesAreLimited();
    void headerFieldsAreLimited();
    void bodiesOverTheLimitAre413_data();
    void bodiesOverTheLimitAre413();
    void chunkedUploadsAreStored();
    void trailerFieldsAreNotHeaderFields();
    void anUploadThatAsksToContinueIsToldTo();
    void aRepeatedContentLengthIsRefused_data();
    void aRepeatedContentLengthIsRefused();
    void framingAndHostAreReadOneWayOnly_data();
    void framingAndHostAreReadOneWayOnly();
    void aGzipBodyWithoutItsTrailerIsRefused();
    void pipelinedRequestsAreAnsweredInOrder();
    void aTricklingRequestIsCutAtItsDeadline_data();
    void aTricklingRequestIsCutAtItsDeadline();
    void idleKeepAliveConnectionsAreClosed();
    void clientsAreCountedByAddressOrTheirIpv6Slash64_data();
    void clientsAreCountedByAddressOrTheirIpv6Slash64();
    void connectionsPerClientAreLimited();
    void connectionsInAllAreLimited();
    void aTrustedProxySpeaksForItsClients();
    void stopReturnsAtOnceWhateverTheClientsDo();

private:
    // A connection to the server that has sent `request`.
    std::unique_ptr<RawSocket> sent(const QByteArray& request, const char* source = nullptr);
    QByteArray exchange(const QByteArray& request);
    // Whether a connection from `source` is taken and answered 200 within
    // the time.
    bool servedWithin(const char* source, int timeoutMs);
    std::vector<std::unique_ptr<RawSocket>> hold(int count, int perSource,
                                                 const QByteArray& sourcePrefix, bool withHead);

    QTemporaryDir* m_dir = nullptr;
    ContentServer* m_server = nullptr;
};

void TestHttpLimits::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestHttpLimits::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_server = new ContentServer;
    m_server->setDataFolder(m_dir->path());
    QVERIFY(m_server->start());
}

void TestHttpLimits::cleanup() {
    delete m_server;
    m_server = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

std::unique_ptr<RawSocket> TestHttpLimits::sent(const QByteArray& request, const char* source) {
    auto socket = std::make_unique<RawSocket>();
    if (!socket->connectTo(m_server->port(), source) || !socket->send(request))
        return nullptr;
    return socket;
}

// Tries until one try is served: each try holds a place until the server
// has seen it close, so the condition is not one to ask twice.
bool TestHttpLimits::servedWithin(const char* source, int timeoutMs) {
    for (QDeadlineTimer until(timeoutMs); !until.hasExpired(); QTest::qWait(20)) {
        const auto socket = sent(get("/"), source);
        if (socket && RawSocket::statusOf(socket->readResponse(1000)) == 200)
            return true;
    }
    return false;
}

QByteArray TestHttpLimits::exchange(const QByteArray& request) {
    const auto socket = sent(request);
    return socket ? socket->readResponse() : QByteArray();
}

void TestHttpLimits::headerBytesAreLimited() {
    // Just under the limit is served, just over it is refused and the
    // connection closed.
    const QByteArray base = get("/", "X-Pad: \r\n");
    const qsizetype room = qsizetype(HttpLimits::kMaxHeaderBytes) - base.size();
    QCOMPARE(
        RawSocket::statusOf(exchange(get("/", "X-Pad: " + QByteArray(room - 64, 'a') + "\r\n"))),
        200);
    const auto socket = sent(get("/", "X-Pad: " + QByteArray(room + 64, 'a') + "\r\n"));
    QVERIFY(socket);
    const QByteArray refused = socket->readResponse();
    QCOMPARE(RawSocket::statusOf(refused), 431);
    QCOMPARE(RawSocket::headerOf(refused, "Connection"), QByteArray("close"));
    QVERIFY(socket->closedWithin(3000));
    // A header that never ends is refused once it passes the limit, not kept.
    const auto endless = sent("GET / HTTP/1.1\r\nX-Pad: " + QByteArray(64 * 1024, 'a'));
    QVERIFY(endless);
    QCOMPARE(RawSocket::statusOf(endless->readResponse()), 431);
}

void TestHttpLimits::headerFieldsAreLimited() {
    // Host is one of the fields.
    QByteArray fields;
    for (int i = 1; i < HttpLimits::kMaxHeaderFields; ++i)
        fields += "X-F" + QByteArray::number(i) + ": 1\r\n";
    QCOMPARE(RawSocket::statusOf(exchange(get("/", fields))), 200);
    const auto socket = sent(get("/", fields + "X-Last: 1\r\n"));
    QVERIFY(socket);
    QCOMPARE(RawSocket::statusOf(socket->readResponse()), 431);
    QVERIFY(socket->closedWithin(3000));
}

void TestHttpLimits::bodiesOverTheLimitAre413_data() {
    QTest::addColumn<QByteArray>("request");
    const qsizetype limit = ContentServer::kMaxCompressedReport;
    QCOMPARE(qsizetype(HttpLimits::kMaxBodyBytes), limit);
    // Refused on the declared length, before any of the body is sent.
    QTest::newRow("Content-Length")
        << postHead("Content-Length: " + QByteArray::number(limit + 1) + "\r\n\r\n");
    QTest::newRow("huge Content-Length") << postHead("Content-Length: 99999999999999\r\n\r\n");
    const QByteArray over(limit + 1, 'x');
    QTest::newRow("chunked, small chunks")
        << postHead("Transfer-Encoding: chunked\r\n\r\n") + chunked(over, 64 * 1024);
    QTest::newRow("chunked, one chunk declared too big")
        << postHead("Transfer-Encoding: chunked\r\n\r\n") + QByteArray::number(limit + 1, 16) +
               "\r\n";
}

void TestHttpLimits::bodiesOverTheLimitAre413() {
    QFETCH(QByteArray, request);
    const auto socket = sent(request);
    QVERIFY(socket);
    const QByteArray response = socket->readResponse();
    QCOMPARE(RawSocket::statusOf(response), 413);
    QCOMPARE(RawSocket::headerOf(response, "X-Content-Type-Options"), QByteArray("nosniff"));
    QVERIFY(socket->closedWithin(5000));
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
}

void TestHttpLimits::chunkedUploadsAreStored() {
    const QByteArray body = gzipped(R"({"records": [{"id": "c1"}, {"id": "c2"}]})");
    const QByteArray response =
        exchange(postHead("Transfer-Encoding: chunked\r\n\r\n") + chunked(body, 7));
    QCOMPARE(RawSocket::statusOf(response), 200);
    QCOMPARE(StoredReports(*m_server).recordIds(), (QStringList{"c1", "c2"}));
}

// A report whose only Content-Encoding comes in the trailer, after its
// chunked body, is not taken as compressed.
void TestHttpLimits::trailerFieldsAreNotHeaderFields() {
    const QByteArray body = gzipped(R"({"records": [{"id": "t1"}]})");
    QByteArray request = "POST /analytics/report HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n" +
                         chunked(body, 7);
    // The last chunk's line stays; the trailer goes before the closing blank line.
    request.chop(2);
    request += "Content-Encoding: gzip\r\nHost: 127.0.0.2\r\n\r\n";
    QCOMPARE(RawSocket::statusOf(exchange(request)), 400);
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
}

void TestHttpLimits::anUploadThatAsksToContinueIsToldTo() {
    const QByteArray body = gzipped(R"({"records": [{"id": "e1"}]})");
    const auto socket = sent(postHead(
        "Expect: 100-continue\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"));
    QVERIFY(socket);
    QCOMPARE(RawSocket::statusOf(socket->readResponse()), 100);
    QVERIFY(socket->send(body));
    QCOMPARE(RawSocket::statusOf(socket->readResponse()), 200);
    QCOMPARE(StoredReports(*m_server).recordIds(), QStringList{"e1"});
}

void TestHttpLimits::aRepeatedContentLengthIsRefused_data() {
    QTest::addColumn<QByteArray>("lengths");
    QTest::newRow("conflicting") << QByteArray("Content-Length: 4\r\nContent-Length: 40\r\n");
    QTest::newRow("equal") << QByteArray("Content-Length: 4\r\nContent-Length: 4\r\n");
    QTest::newRow("listed") << QByteArray("Content-Length: 4, 40\r\n");
    QTest::newRow("with chunked") << QByteArray(
        "Transfer-Encoding: chunked\r\nContent-Length: 4\r\n");
}

void TestHttpLimits::aRepeatedContentLengthIsRefused() {
    QFETCH(QByteArray, lengths);
    const auto socket = sent(postHead(lengths + "\r\n") + "abcd" + get("/"));
    QVERIFY(socket);
    QCOMPARE(RawSocket::statusOf(socket->readResponse()), 400);
    // Nothing after the refused request is read as a request of its own.
    QVERIFY(socket->closedWithin(5000));
}

// A request another party could read differently (where its body ends, which
// host it is for) is refused and the connection closed, so that nothing after
// it passes for a request of its own; a proxy's absolute target is its path.
void TestHttpLimits::framingAndHostAreReadOneWayOnly_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status");
    const QByteArray healthz = "GET /healthz HTTP/1.1\r\n";
    const QByteArray host = "Host: 127.0.0.1\r\n";
    for (const char* coding : {"xchunked", "chunked, gzip", "gzip", "identity", "chunked;x"})
        QTest::addRow("Transfer-Encoding: %s", coding)
            << healthz + host + "Transfer-Encoding: " + coding + "\r\n"
            << 400;
    QTest::newRow("no Host") << healthz << 400;
    QTest::newRow("two Hosts") << healthz + host + host << 400;
    QTest::newRow("HTTP/1.0 without Host") << QByteArray("GET /healthz HTTP/1.0\r\n") << 200;
    QTest::newRow("absolute-form") << "GET http://127.0.0.1:1/healthz HTTP/1.1\r\n" + host << 200;
    QTest::newRow("absolute-form, no path") << "GET http://127.0.0.1 HTTP/1.1\r\n" + host << 200;
}

void TestHttpLimits::framingAndHostAreReadOneWayOnly() {
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    const auto socket = sent(head + "\r\n" + get("/healthz"));
    QVERIFY(socket);
    const QByteArray first = socket->readResponse();
    QCOMPARE(RawSocket::statusOf(first), status);
    if (status == 400) {
        QVERIFY(socket->closedWithin(5000));
    } else if (!head.contains("HTTP/1.0")) {
        QCOMPARE(RawSocket::statusOf(socket->readResponse()), 200);
    }
}

void TestHttpLimits::aGzipBodyWithoutItsTrailerIsRefused() {
    const QByteArray whole = gzipped(R"({"records": [{"id": "t1"}]})");
    const QByteArray cut = whole.left(whole.size() - 8);
    const QByteArray response =
        exchange(postHead("Content-Length: " + QByteArray::number(cut.size()) + "\r\n\r\n") + cut);
    QCOMPARE(RawSocket::statusOf(response), 400);
    QCOMPARE(RawSocket::headerOf(response, "Connection"), QByteArray("close"));
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
}

void TestHttpLimits::pipelinedRequestsAreAnsweredInOrder() {
    const QByteArray report = gzipped(R"({"records": [{"id": "p1"}]})");
    const QByteArray post =
        postHead("Content-Length: " + QByteArray::number(report.size()) + "\r\n\r\n") + report;
    const auto socket = sent(get("/wechat/article.do?id=what-is-pm25") + get("/missing.do") + post +
                             get("/wechat/article.do?id=0") + get("/"));
    QVERIFY(socket);
    const QList<int> expected{200, 404, 200, 404, 200};
    QList<int> statuses;
    for (int i = 0; i < expected.size(); ++i)
        statuses << RawSocket::statusOf(socket->readResponse());
    QCOMPARE(statuses, expected);
    QCOMPARE(StoredReports(*m_server).recordIds(), QStringList{"p1"});
}

void TestHttpLimits::aTricklingRequestIsCutAtItsDeadline_data() {
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<QByteArray>("trickled");
    QTest::addColumn<int>("deadlineSeconds");
    QTest::newRow("head") << QByteArray()
                          << get("/", QByteArray("X-Slow: ") + QByteArray(40, 'a') + "\r\n")
                          << int(HttpLimits::kHeadDeadline.count());
    QTest::newRow("body") << postHead("Content-Length: 60\r\n\r\n") << QByteArray(60, 'x')
                          << int(HttpLimits::kRequestDeadline.count());
}

void TestHttpLimits::aTricklingRequestIsCutAtItsDeadline() {
    QFETCH(QByteArray, whole);
    QFETCH(QByteArray, trickled);
    QFETCH(int, deadlineSeconds);
    RawSocket socket;
    QVERIFY(socket.connectTo(m_server->port()));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(socket.send(whole));
    const qint64 deadlineMs = deadlineSeconds * 1000;
    // A byte every 500 ms keeps each read short but never finishes in time.
    qsizetype at = 0;
    while (socket.isOpen() && at < trickled.size() - 1 && clock.elapsed() < deadlineMs + 3000) {
        socket.send(trickled.mid(at++, 1));
        socket.closedWithin(500);
    }
    QVERIFY2(!socket.isOpen(), "the trickling connection was not closed");
    QVERIFY2(clock.elapsed() >= deadlineMs - 500, qPrintable(QString::number(clock.elapsed())));
}

void TestHttpLimits::idleKeepAliveConnectionsAreClosed() {
    const auto socket = sent(get("/"));
    QVERIFY(socket);
    const QByteArray response = socket->readResponse();
    QCOMPARE(RawSocket::statusOf(response), 200);
    QCOMPARE(RawSocket::headerOf(response, "Connection"), QByteArray("keep-alive"));
    const qint64 idleMs = HttpLimits::kIdleTimeout.count() * 1000;
    QVERIFY2(!socket->closedWithin(int(idleMs - 1000)), "closed before the idle time");
    QVERIFY2(socket->closedWithin(3000), "left open after the idle time");
}

// Connections that hold a place: with a whole head and half a body (a
// request under way), or with nothing sent yet.
std::vector<std::unique_ptr<RawSocket>>
TestHttpLimits::hold(int count, int perSource, const QByteArray& sourcePrefix, bool withHead) {
    std::vector<std::unique_ptr<RawSocket>> held;
    for (int i = 0; i < count; ++i) {
        const QByteArray source = sourcePrefix + QByteArray::number(1 + i / perSource);
        held.push_back(std::make_unique<RawSocket>());
        if (!held.back()->connectTo(m_server->port(), source.constData()))
            return {};
        // The go-ahead says the server has the head.
        if (withHead &&
            (!held.back()->send(postHead("Content-Length: 1000\r\nExpect: 100-continue\r\n\r\n")) ||
             RawSocket::statusOf(held.back()->readResponse()) != 100 || !held.back()->send("x")))
            return {};
    }
    return held;
}

void TestHttpLimits::clientsAreCountedByAddressOrTheirIpv6Slash64_data() {
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("v4") << QByteArray("203.0.113.7") << QByteArray("203.0.113.7");
    QTest::newRow("v6 host") << QByteArray("2001:db8:1:2:aaaa:bbbb:cccc:dddd")
                             << QByteArray("2001:db8:1:2::/64");
    QTest::newRow("v6 same /64") << QByteArray("2001:db8:1:2::1")
                                 << QByteArray("2001:db8:1:2::/64");
    QTest::newRow("v6 next /64") << QByteArray("2001:db8:1:3::1")
                                 << QByteArray("2001:db8:1:3::/64");
    QTest::newRow("v4 in v6") << QByteArray("::ffff:198.51.100.2") << QByteArray("198.51.100.2");
    QTest::newRow("loopback v6") << QByteArray("::1") << QByteArray("::/64");
    QTest::newRow("not an address") << QByteArray("unix") << QByteArray("unix");
}

void TestHttpLimits::clientsAreCountedByAddressOrTheirIpv6Slash64() {
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, key);
    QCOMPARE(QByteArray::fromStdString(ClientKey::of(address.toStdString())), key);
}

// When a cap is full, a connection that has not sent its head makes room
// (of the same client, for the client's cap); when every one is under way,
// the new one is told 503 before the close. Other clients are not affected.
void TestHttpLimits::connectionsPerClientAreLimited() {
    const int cap = HttpLimits::kMaxConnectionsPerAddress;
    auto idle = hold(cap, cap, "127.0.0.", false);
    QCOMPARE(int(idle.size()), cap);
    QVERIFY(servedWithin("127.0.0.1", 3000));
    QVERIFY(idle.front()->closedWithin(2000));
    QVERIFY(idle.back()->send(get("/")));
    QCOMPARE(RawSocket::statusOf(idle.back()->readResponse()), 200);

    auto busy = hold(cap, cap, "127.0.0.", true);
    QCOMPARE(int(busy.size()), cap);
    RawSocket over;
    QVERIFY(over.connectTo(m_server->port(), "127.0.0.1"));
    const QByteArray refused = over.readResponse(2000);
    QCOMPARE(RawSocket::statusOf(refused), 503);
    QCOMPARE(RawSocket::headerOf(refused, "Retry-After"), QByteArray("1"));
    QVERIFY(over.closedWithin(2000));
    QVERIFY(servedWithin("127.0.0.9", 3000));
    // A closed connection frees its place, once the server has seen it close.
    busy.back()->close();
    QVERIFY(servedWithin("127.0.0.1", 5000));
}

void TestHttpLimits::connectionsInAllAreLimited() {
    // The test holds one end of every connection and the server the other.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlim_t wanted = 2 * rlim_t(HttpLimits::kMaxConnections) + 256;
    if (files.rlim_cur < wanted) {
        files.rlim_cur = std::min(wanted, files.rlim_max);
        setrlimit(RLIMIT_NOFILE, &files);
    }
    if (files.rlim_cur < wanted)
        QSKIP("too few file descriptors for the connection limit");
    const int perClient = HttpLimits::kMaxConnectionsPerAddress;
    auto busy = hold(HttpLimits::kMaxConnections - 1, perClient, "127.0.1.", true);
    auto idle = hold(1, 1, "127.0.3.", false);
    QVERIFY(!busy.empty() && !idle.empty());
    // The one without a head makes room; then none is left to.
    auto last = hold(1, 1, "127.0.2.", true);
    QCOMPARE(int(last.size()), 1);
    QVERIFY(idle.front()->closedWithin(2000));
    RawSocket over;
    QVERIFY(over.connectTo(m_server->port(), "127.0.2.2"));
    QCOMPARE(RawSocket::statusOf(over.readResponse(2000)), 503);
    busy.clear();
    QVERIFY(servedWithin("127.0.2.1", 5000));
}

// Behind a trusted proxy the client is the one it names, for the report's
// address class; a stranger's header is ignored; the proxy's connections are
// many clients' and held only to the overall cap.
void TestHttpLimits::aTrustedProxySpeaksForItsClients() {
    std::string error;
    m_server->stop();
    m_server->setTrustedProxies(*TrustedProxies::parse({"127.0.0.81"}, &error));
    QVERIFY(m_server->start());
    const QByteArray body = gzipped(R"({"records": [{"id": "p1"}]})");
    const QByteArray report =
        postHead("X-Forwarded-For: 10.9.9.9, 203.0.113.9\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n") +
        body;
    QCOMPARE(RawSocket::statusOf(sent(report, "127.0.0.81")->readResponse()), 200);
    QCOMPARE(RawSocket::statusOf(sent(report, "127.0.0.9")->readResponse()), 200);
    QCOMPARE(StoredReports(*m_server).reportClients(), (QStringList{"public", "loopback"}));

    // Each with a request under way: none could make room for another.
    const auto proxied = hold(HttpLimits::kMaxConnectionsPerAddress + 8, 1000, "127.0.0.8", true);
    QCOMPARE(int(proxied.size()), HttpLimits::kMaxConnectionsPerAddress + 8);
}

void TestHttpLimits::stopReturnsAtOnceWhateverTheClientsDo() {
    std::vector<std::unique_ptr<RawSocket>> clients;
    // Silent, half a header, half a body, and one that reads no answers.
    clients.push_back(sent(QByteArray()));
    clients.push_back(sent("GET / HTTP/1.1\r\nHost: x"));
    clients.push_back(sent(postHead("Content-Length: 100000\r\n\r\n") + QByteArray(500, 'x')));
    QByteArray many;
    for (int i = 0; i < 2000; ++i)
        many += get("/wechat/getPm25CentralIssue.do");
    clients.push_back(sent(many));
    for (const auto& client : clients)
        QVERIFY(client);
    QTest::qWait(300);
    QElapsedTimer clock;
    clock.start();
    m_server->stop();
    const qint64 took = clock.elapsed();
    qInfo() << "stop() took" << took << "ms";
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    QVERIFY(!m_server->isRunning());
    for (const auto& client : clients)
        QVERIFY(client->closedWithin(2000));
}

QTEST_GUILESS_MAIN(TestHttpLimits)
#include "tst_httplimits.moc"
