#include "server/admin/admintoken.h"
#include "server/content/contentfolder.h"
#include "server/contentserver.h"
#include "server/metrics/servermetrics.h"
#include "support/server/gzippedreport.h"
#include "support/zlibpacked.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>

namespace {

const std::string kToken = "0123abcd0123abcd0123abcd0123abcd";

// What the reference client's parser reads in an exposition text: each
// family's type and each sample's value by name and sorted labels.
struct Parsed {
    QJsonObject types;
    QJsonObject samples;
    double value(const QString& key) const { return samples.value(key).toDouble(-1); }
};

// The parser is Debian's package, installed for Debian's interpreter.
bool parse(const std::string& text, Parsed* parsed) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QFINDTESTDATA("metricsparse.py")});
    python.write(QByteArray::fromStdString(text));
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        qWarning().noquote() << "the parser refused the text:" << python.readAllStandardError();
        return false;
    }
    const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    parsed->types = out.value(QStringLiteral("types")).toObject();
    parsed->samples = out.value(QStringLiteral("samples")).toObject();
    return true;
}

QString requests(const char* route, int status) {
    return QStringLiteral("vantoro_http_requests_total{route=\"%1\",status=\"%2\"}")
        .arg(QLatin1String(route))
        .arg(status);
}

QString durationSample(const char* part, const char* route, const char* le = nullptr) {
    const QString labels =
        le ? QStringLiteral("le=\"%1\",route=\"%2\"").arg(QLatin1String(le), QLatin1String(route))
           : QStringLiteral("route=\"%1\"").arg(QLatin1String(route));
    return QStringLiteral("vantoro_http_request_duration_seconds_%1{%2}")
        .arg(QLatin1String(part), labels);
}

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bucketsAddUpTheTimesAtTheirBounds();
    void aScrapeCountsKnownTrafficBehindTheAdminDoor();
};

void TestMetrics::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

// A time on a bound falls in that bucket; one above the last only in +Inf;
// a status no answer can have still counts, as "0", not out of the table.
void TestMetrics::bucketsAddUpTheTimesAtTheirBounds() {
    using namespace std::chrono;
    ServerMetrics metrics;
    const std::size_t ranking = ServerMetrics::routeOf("/wechat/getPm25Rank.do");
    metrics.noteAnswer(ranking, 200, microseconds(300));
    metrics.noteAnswer(ranking, 200, microseconds(500));
    metrics.noteAnswer(ranking, 200, milliseconds(3));
    metrics.noteAnswer(ranking, 503, seconds(10));
    metrics.noteAnswer(ServerMetrics::routeOf("/wechat/getPm25Rank.do/"), 1000, nanoseconds(1));
    Parsed parsed;
    QVERIFY(parse(metrics.text({}), &parsed));
    const char* route = "/wechat/getPm25Rank.do";
    QCOMPARE(parsed.value(durationSample("bucket", route, "0.0005")), 2.0);
    QCOMPARE(parsed.value(durationSample("bucket", route, "0.001")), 2.0);
    QCOMPARE(parsed.value(durationSample("bucket", route, "0.005")), 3.0);
    QCOMPARE(parsed.value(durationSample("bucket", route, "5")), 3.0);
    QCOMPARE(parsed.value(durationSample("bucket", route, "+Inf")), 4.0);
    QCOMPARE(parsed.value(durationSample("count", route)), 4.0);
    QCOMPARE(parsed.value(durationSample("sum", route)), 10.0038);
    QCOMPARE(parsed.value(requests(route, 200)), 3.0);
    QCOMPARE(parsed.value(requests(route, 503)), 1.0);
    QCOMPARE(parsed.value(requests("other", 0)), 1.0);
    QCOMPARE(parsed.types.value(QStringLiteral("vantoro_http_request_duration_seconds")).toString(),
             QStringLiteral("histogram"));
}

// Known traffic, read back through the parser; the scrape needs the
// operator's token and shows no path a client made up.
void TestMetrics::aScrapeCountsKnownTrafficBehindTheAdminDoor() {
    QTemporaryDir dir;
    const QString content = dir.filePath(QStringLiteral("content"));
    QDir().mkpath(content + QStringLiteral("/articles"));
    QFile::copy(ContentFolder::samplePath() + QStringLiteral("/pm25rank.json"),
                content + QStringLiteral("/pm25rank.json"));
    ContentServer server;
    server.setDataFolder(dir.filePath(QStringLiteral("data")));
    server.setContentFolder(content);
    server.setAdminToken(AdminToken::fromSecret(QByteArray::fromStdString(kToken)));
    QVERIFY(server.start());
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(10);
    const httplib::Headers gzip = {{"Content-Encoding", "gzip"}};
    const auto report = [&](const QByteArray& body) {
        return client.Post("/analytics/report", gzip, body.toStdString(), "application/json")
            ->status;
    };

    for (int i = 0; i < 3; ++i)
        QCOMPARE(client.Get("/wechat/getPm25Rank.do")->status, 200);
    QCOMPARE(client.Get("/made-up-by-a-client?x=1")->status, 404);
    QCOMPARE(report(gzippedReport({QStringLiteral("a1"), QStringLiteral("a2")})), 200);
    QCOMPARE(report(gzippedReport({QStringLiteral("a2"), QStringLiteral("b1")})), 200);
    QCOMPARE(report(zlibPacked("records: not JSON", 31)), 400);
    QCOMPARE(client.Get("/metrics")->status, 401);
    QCOMPARE(client.Get("/metrics", {{"Authorization", "Bearer " + kToken + "0"}})->status, 401);

    const auto scrape = client.Get("/metrics", {{"Authorization", "Bearer " + kToken}});
    QCOMPARE(scrape->status, 200);
    QCOMPARE(scrape->get_header_value("Content-Type"),
             std::string("text/plain; version=0.0.4; charset=utf-8"));
    QCOMPARE(scrape->get_header_value("Cache-Control"), std::string("no-store"));
    QVERIFY(scrape->body.find("made-up") == std::string::npos);
    Parsed parsed;
    QVERIFY(parse(scrape->body, &parsed));
    const QHash<QString, double> expected = {
        {requests("/wechat/getPm25Rank.do", 200), 3},
        {requests("other", 404), 1},
        {requests("/analytics/report", 200), 2},
        {requests("/analytics/report", 400), 1},
        {requests("/metrics", 401), 2},
        {durationSample("count", "/wechat/getPm25Rank.do"), 3},
        {durationSample("count", "/analytics/report"), 3},
        {QStringLiteral("vantoro_reports_total{outcome=\"stored\"}"), 2},
        {QStringLiteral("vantoro_reports_total{outcome=\"refused\"}"), 1},
        {QStringLiteral("vantoro_reports_total{outcome=\"limited\"}"), 0},
        {QStringLiteral("vantoro_reports_total{outcome=\"busy\"}"), 0},
        {QStringLiteral("vantoro_reports_total{outcome=\"unavailable\"}"), 0},
        {QStringLiteral("vantoro_records_stored_total"), 3},
        {QStringLiteral("vantoro_records_duplicate_total"), 1},
        {QStringLiteral("vantoro_store_errors_total"), 0},
        {QStringLiteral("vantoro_worker_queue_length"), 0},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(parsed.value(it.key()) == it.value(), qPrintable(it.key()));
    // The answers counted: these, and nothing else.
    int answers = 0;
    for (auto it = parsed.samples.begin(); it != parsed.samples.end(); ++it)
        if (it.key().startsWith(QLatin1String("vantoro_http_requests_total{")))
            answers += int(it.value().toDouble());
    QCOMPARE(answers, 9);
    QVERIFY(parsed.value(QStringLiteral("vantoro_http_connections_open")) >= 1);
    QCOMPARE(parsed.types.value(QStringLiteral("vantoro_http_connections_open")).toString(),
             QStringLiteral("gauge"));
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
