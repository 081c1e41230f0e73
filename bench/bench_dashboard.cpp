// How long the operator waits for the dashboard: GET /admin (the default
// seven days and the longest period, a year) and one crash group's texts,
// over a store of 20,000 and of 200,000 records spread over 60 days, on one
// keep-alive connection with the token, against the stand-alone executable.
// The baseline is the ranking page of the same server, timed by the same
// client in the same run: it reads no store, so the ratio is what the
// figures' queries and the page cost on top of serving a page.
#include "benchoutput.h"
#include "httpload.h"
#include "loopbackconnection.h"
#include "serverprocess.h"
#include "support/zlibpacked.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kRecordsPerReport = 5000;
constexpr int kDays = 60;
constexpr int kCrashGroups = 20;
constexpr double kSeconds = 2.0;
const std::string kToken = "bench-token-0123456789abcdef";

const char* const kEvents[] = {"blow", "blow_amount", "blow_share",
                               "haze", "haze_amount", "haze_share",
                               "hots", "rank",        "rank_share"};

// One record of the n-th kind in the application's mix: mostly events, a
// launch and an end of use for every ten, a crash now and then.
QByteArray record(qint64 n, qint64 now) {
    const qint64 ts = now - (n * 7919) % (kDays * 86400LL);
    QByteArray json = "{\"id\":\"b" + QByteArray::number(n) +
                      "\",\"ts\":" + QByteArray::number(ts) + ",\"session_id\":\"S" +
                      QByteArray::number(n / 20) + "\",";
    switch (n % 20) {
    case 0:
        return json + "\"type\":\"launch\"}";
    case 1:
        return json + "\"type\":\"terminate\",\"duration\":" + QByteArray::number(n % 1800) + "}";
    case 2:
        if (n % 100 == 2)
            return json +
                   "\"type\":\"error\",\"context\":\"Application received signal SIGSEGV\\n"
                   "(null)\\n(\\n    /opt/v/vantoro(+0x4a10) [0x55d0c0a04a10],\\n    "
                   "/opt/v/vantoro(_ZN5Crash" +
                   QByteArray::number(n % kCrashGroups) +
                   "Ev+0x1a) [0x55d0c0a05e2a]\\n)\\n\\ndSYM UUID: 0A1B\\nBinary Image: "
                   "vantoro\\n\"}";
        [[fallthrough]];
    default:
        return json + "\"type\":\"event\",\"event_id\":\"" + kEvents[n % 9] +
               "\",\"acc\":1,\"du\":0}";
    }
}

bool fill(int port, qint64 from, qint64 to) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    LoopbackConnection connection;
    for (qint64 start = from; start < to; start += kRecordsPerReport) {
        QByteArray json = "{\"records\":[";
        for (qint64 n = start; n < std::min(to, start + kRecordsPerReport); ++n)
            json += (n > start ? "," : "") + record(n, now);
        const QByteArray body = zlibPacked(json + "]}", 31);
        const std::string request = HttpLoad::head("POST", "/analytics/report", true,
                                                   "Content-Encoding: gzip\r\nContent-Length: " +
                                                       std::to_string(body.size()) + "\r\n") +
                                    body.toStdString();
        if (!connection.open(port) || connection.exchange(request).status != 200)
            return false;
    }
    return true;
}

HttpLoad::Result timeGet(int port, const std::string& target, bool withToken) {
    HttpLoad::Settings settings;
    settings.port = port;
    settings.seconds = kSeconds;
    settings.maxRequests = 5000;
    const std::string headers = withToken ? "Authorization: Bearer " + kToken + "\r\n" : "";
    settings.request = [target, headers](int, int) {
        return HttpLoad::head("GET", target, true, headers);
    };
    return HttpLoad::run(settings);
}

void print(const std::string& key, const HttpLoad::Result& result,
           const HttpLoad::Result& baseline) {
    char note[64];
    std::snprintf(note, sizeof note, "x%.1f of the ranking page",
                  result.latencyMs.median() / baseline.latencyMs.median());
    benchPrint(key + ".p50_ms", result.latencyMs.median(), note);
    std::snprintf(note, sizeof note, "x%.1f of the ranking page",
                  result.latencyMs.percentile(99) / baseline.latencyMs.percentile(99));
    benchPrint(key + ".p99_ms", result.latencyMs.percentile(99), note);
    benchPrint(key + ".failed", result.failed);
}

// A crash group's key, as the dashboard links it.
std::string crashGroup(int port) {
    LoopbackConnection connection;
    if (!connection.open(port))
        return {};
    const auto page = connection.exchange(
        HttpLoad::head("GET", "/admin", true, "Authorization: Bearer " + kToken + "\r\n"));
    static const QRegularExpression link(QStringLiteral("/admin/crashes\\?group=([0-9a-f]+)"));
    return link.match(QString::fromStdString(page.body)).captured(1).toStdString();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QFile token(dir.filePath(QStringLiteral("token")));
    if (!token.open(QIODevice::WriteOnly) || token.write(kToken.c_str()) < 0)
        return 1;
    token.close();
    ServerProcess server;
    if (!server.start(QStringLiteral(VANTORO_CONTENT_SERVER),
                      {QStringLiteral("--port"), QStringLiteral("%PORT%"), QStringLiteral("--data"),
                       dir.filePath(QStringLiteral("data")), QStringLiteral("--admin-token-file"),
                       token.fileName()})) {
        std::fprintf(stderr, "bench_dashboard: the content server did not start\n");
        return 1;
    }
    const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
    const QString yearAgo =
        QDateTime::currentDateTimeUtc().date().addDays(-366).toString(Qt::ISODate);
    const std::string year = ("/admin?from=" + yearAgo + "&to=" + today).toStdString();
    qint64 stored = 0;
    for (const qint64 size : {20'000LL, 200'000LL}) {
        if (!fill(server.port(), stored, size)) {
            std::fprintf(stderr, "bench_dashboard: the reports were not taken\n");
            return 1;
        }
        stored = size;
        const std::string prefix = "records_" + std::to_string(size);
        const HttpLoad::Result baseline = timeGet(server.port(), "/wechat/getPm25Rank.do", false);
        benchPrint(prefix + ".ranking_page.p50_ms", baseline.latencyMs.median(), "baseline");
        benchPrint(prefix + ".ranking_page.p99_ms", baseline.latencyMs.percentile(99), "baseline");
        print(prefix + ".dashboard_7_days", timeGet(server.port(), "/admin", true), baseline);
        print(prefix + ".dashboard_year", timeGet(server.port(), year, true), baseline);
        print(prefix + ".crash_texts",
              timeGet(server.port(), "/admin/crashes?group=" + crashGroup(server.port()), true),
              baseline);
    }
    server.stop();
    return 0;
}
