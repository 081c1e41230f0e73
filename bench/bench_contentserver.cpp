// The content server's speed and memory, measured over HTTP against the
// stand-alone executable, so that any server behind those routes can be
// compared: requests per second and p50/p99 latency for the ranking page, a
// landing page and a small analytics report, on keep-alive connections, on
// a connection per request, and on one keep-alive connection; then the
// server's resident memory while eight of the largest reports arrive at
// once. The baseline is the same ranking page served as a file by Python's
// http.server, timed by the same client with the same settings. That
// server writes a response's head and body in two sends with Nagle's
// algorithm on, so on a keep-alive connection its body waits for the
// client's delayed acknowledgement (about 40 ms on Linux); its close figures
// are the ones free of that wait. nginx, when installed, serves the same
// saved page as a second baseline: the ranking keep-alive line against it
// is the one that says whether a page costs what a static file costs.
#include "benchoutput.h"
#include "httpload.h"
#include "loopbackconnection.h"
#include "server/contentserver.h"
#include "serverprocess.h"
#include "support/zlibpacked.h"
#include "underattack.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <thread>
#include <vector>

namespace {

constexpr int kConnections = 4;
constexpr double kPhaseSeconds = 1.5;
constexpr double kWarmUpSeconds = 0.3;
// Bounds a fast server's run on a connection per request, and with it the
// ports left waiting after their close; keep-alive lines run their time out.
constexpr int kMaxRequestsPerLine = 10'000;
constexpr int kMaxKeepAliveRequests = 1'000'000;
constexpr int kSmallReportRecords = 50;
// The application's largest report (AnalyticsReportBuilder::kMaxRecords).
constexpr int kLargeReportRecords = 5000;
constexpr int kLargeReports = 8;
// Close to the collector's limit on a compressed body, and under it.
constexpr qsizetype kLargeReportTarget = ContentServer::kMaxCompressedReport - 8 * 1024;
constexpr double kSettleSeconds = 3.0;

const char* const kRankingPath = "/wechat/getPm25Rank.do";
const char* const kLandingPath = "/wechat/capacityPmShare.do?value=3000&percent=80&level=1_1";
const char* const kReportPath = "/analytics/report";

struct Mode {
    const char* name;
    int connections;
    bool keepAlive;
};

const Mode kModes[] = {
    {"keepalive", kConnections, true},
    {"close", kConnections, false},
    {"one_keepalive", 1, true},
};

QByteArray gzip(const QByteArray& data) {
    return zlibPacked(data, 15 + 16); // 15 + 16: a gzip header and trailer
}

// Random hex: compresses to about half its length, so a report's
// compressed size can be steered by how much of it each record carries.
QByteArray noise(int length) {
    static const char digits[] = "0123456789abcdef";
    QByteArray text(length, Qt::Uninitialized);
    for (char& c : text)
        c = digits[QRandomGenerator::global()->bounded(16)];
    return text;
}

// A report as the application sends it: event records, each with an id of
// its own so that the collector keeps every one, and a header.
QByteArray reportJson(const QByteArray& idPrefix, int records, int labelLength) {
    QByteArray json = "{\"event\":[";
    for (int i = 0; i < records; ++i) {
        if (i > 0)
            json += ',';
        json += "{\"id\":\"" + idPrefix + '-' + QByteArray::number(i) +
                "\",\"type\":\"event\",\"date\":\"2026-12-09\",\"time\":\"01:37:38\","
                "\"ts\":" +
                QByteArray::number(1796780258LL + i) +
                ",\"session_id\":\"5f0c2a7e\",\"sendingFlag\":true,\"event_id\":\"blow_share\"";
        if (labelLength > 0)
            json += ",\"label\":\"" + noise(labelLength) + '"';
        json += ",\"acc\":1,\"du\":0}";
    }
    json += "],\"header\":{\"appkey\":\"7c0e91d2ab4f3e6058d1c2b7\",\"app_version\":\"1.0\"}}";
    return json;
}

std::string postRequest(const QByteArray& body, bool keepAlive) {
    const std::string headers = "Content-Type: application/json\r\nContent-Encoding: gzip\r\n"
                                "Content-Length: " +
                                std::to_string(body.size()) + "\r\n";
    return HttpLoad::head("POST", kReportPath, keepAlive, headers) + body.toStdString();
}

// How many records the collector says it kept, from its JSON answer.
int storedRecords(const LoopbackConnection::Response& response) {
    const QJsonObject answer =
        QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object();
    return response.status == 200 ? answer.value(QLatin1String("stored")).toInt() : -1;
}

std::string ratioNote(double value, double baseline, const char* baselineName) {
    const double ratio = baseline > 0 ? value / baseline : 0.0;
    // Two significant digits at least, without a trailing point or zeros
    // that would read as more precision than a 1.5 s run has.
    const char* format = ratio >= 10 ? "x%.1f of %s" : ratio >= 0.1 ? "x%.2f of %s" : "x%.2g of %s";
    char text[64];
    std::snprintf(text, sizeof(text), format, ratio, baselineName);
    return text;
}

HttpLoad::Result measure(int port, const Mode& mode, double seconds,
                         std::function<std::string(int, int)> request) {
    HttpLoad::Settings settings;
    settings.port = port;
    settings.connections = mode.connections;
    settings.keepAlive = mode.keepAlive;
    settings.seconds = seconds;
    settings.maxRequests = mode.keepAlive ? kMaxKeepAliveRequests : kMaxRequestsPerLine;
    settings.request = std::move(request);
    return HttpLoad::run(settings);
}

void printResult(const std::string& key, const HttpLoad::Result& result,
                 const HttpLoad::Result* baseline, const char* baselineName = "python") {
    const auto& latency = result.latencyMs;
    auto printFigure = [&](const char* suffix, double value, double baselineValue) {
        benchPrint(key + suffix, value,
                   baseline ? ratioNote(value, baselineValue, baselineName).c_str() : "baseline");
    };
    printFigure("_rps", result.requestsPerSecond(), baseline ? baseline->requestsPerSecond() : 0.0);
    printFigure("_p50_ms", latency.median(), baseline ? baseline->latencyMs.median() : 0.0);
    printFigure("_p99_ms", latency.percentile(99),
                baseline ? baseline->latencyMs.percentile(99) : 0.0);
    if (result.failed > 0)
        benchPrint(key + "_failed", result.failed, "requests without a 200 answer");
}

std::function<std::string(int, int)> getRequest(const std::string& target, bool keepAlive) {
    const std::string request = HttpLoad::head("GET", target, keepAlive);
    return [request](int, int) { return request; };
}

std::function<std::string(int, int)> smallReportRequest(const QByteArray& phase, bool keepAlive) {
    return [phase, keepAlive](int connection, int n) {
        const QByteArray prefix =
            phase + "-c" + QByteArray::number(connection) + "-n" + QByteArray::number(n);
        return postRequest(gzip(reportJson(prefix, kSmallReportRecords, 0)), keepAlive);
    };
}

// Ports of the two servers that serve the saved ranking page as a file;
// nginx's is 0 when it is not installed.
struct Baselines {
    int python = 0;
    int nginx = 0;
};

void benchThroughput(int serverPort, const Baselines& baselines, const QByteArray& runTag) {
    std::printf("# %d connections for keepalive and close, %.1f s per line; latency is from "
                "the first byte sent to the last received (with the connect for close)\n",
                kConnections, kPhaseSeconds);
    measure(serverPort, kModes[0], kWarmUpSeconds, getRequest(kRankingPath, true));
    measure(baselines.python, kModes[0], kWarmUpSeconds, getRequest("/ranking.html", true));
    if (baselines.nginx == 0)
        std::printf("# nginx is not installed (Debian's nginx-light): no nginx lines\n");
    for (const Mode& mode : kModes) {
        const std::string tag = std::string("_") + mode.name;
        const HttpLoad::Result python = measure(baselines.python, mode, kPhaseSeconds,
                                                getRequest("/ranking.html", mode.keepAlive));
        printResult("python_ranking" + tag, python, nullptr);
        const HttpLoad::Result ranking =
            measure(serverPort, mode, kPhaseSeconds, getRequest(kRankingPath, mode.keepAlive));
        printResult("ranking" + tag, ranking, &python);
        if (baselines.nginx > 0) {
            const HttpLoad::Result nginx = measure(baselines.nginx, mode, kPhaseSeconds,
                                                   getRequest("/ranking.html", mode.keepAlive));
            printResult("nginx_ranking" + tag, nginx, nullptr);
            printResult("ranking" + tag + "_vs_nginx", ranking, &nginx, "nginx");
        }
        printResult(
            "landing" + tag,
            measure(serverPort, mode, kPhaseSeconds, getRequest(kLandingPath, mode.keepAlive)),
            &python);
        printResult("report" + tag,
                    measure(serverPort, mode, kPhaseSeconds,
                            smallReportRequest(runTag + '-' + mode.name, mode.keepAlive)),
                    &python);
    }
}

// Label length that brings a report of `records` records near `target`
// compressed bytes: compressed size grows linearly with it.
int labelLengthFor(int records, qsizetype target) {
    constexpr int kProbe = 200;
    const qsizetype bare = gzip(reportJson("probe", records, 0)).size();
    const qsizetype probed = gzip(reportJson("probe", records, kProbe)).size();
    const double perChar = double(probed - bare) / double(records * kProbe);
    return int(double(target - bare) / (perChar * records));
}

// Eight reports of the largest kind, each near the compressed limit.
std::vector<QByteArray> largeReports(const QByteArray& runTag, qint64* inflatedBytes) {
    int labelLength = labelLengthFor(kLargeReportRecords, kLargeReportTarget);
    std::vector<QByteArray> bodies;
    while (int(bodies.size()) < kLargeReports) {
        const QByteArray prefix = runTag + "-large-" + QByteArray::number(int(bodies.size()));
        const QByteArray json = reportJson(prefix, kLargeReportRecords, labelLength);
        QByteArray body = gzip(json);
        if (body.size() >= ContentServer::kMaxCompressedReport) {
            labelLength -= labelLength / 100 + 1;
            continue;
        }
        *inflatedBytes += json.size();
        bodies.push_back(std::move(body));
    }
    return bodies;
}

double megabytes(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

ServerProcess::Memory memoryAfterOnePage(const ServerProcess& server) {
    LoopbackConnection connection;
    if (connection.open(server.port()))
        connection.exchange(HttpLoad::head("GET", kRankingPath, false));
    return server.memory();
}

struct Burst {
    std::vector<int> stored; // per report; -1 when it was not accepted
    double polledPeakMb = 0;
    double seconds = 0;
};

// Posts every body at the same moment, each on a connection of its own, and
// watches the server's resident memory until the last answer.
Burst postAtOnce(const ServerProcess& server, const std::vector<QByteArray>& bodies) {
    Burst burst;
    burst.stored.assign(bodies.size(), -1);
    std::vector<LoopbackConnection> connections(bodies.size());
    std::latch ready(std::ptrdiff_t(bodies.size()));
    std::atomic<int> finished{0};
    std::vector<std::thread> senders;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < bodies.size(); ++i)
        senders.emplace_back([&, i] {
            const std::string request = postRequest(bodies[i], false);
            const bool open = connections[i].open(server.port());
            ready.arrive_and_wait();
            if (open)
                burst.stored[i] = storedRecords(connections[i].exchange(request));
            finished.fetch_add(1);
        });
    while (finished.load() < int(bodies.size())) {
        burst.polledPeakMb = std::max(burst.polledPeakMb, server.memory().residentMb);
        QThread::msleep(2);
    }
    burst.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (std::thread& sender : senders)
        sender.join();
    return burst;
}

void printBurst(const Burst& burst, qint64 compressed, qint64 inflated) {
    int accepted = 0;
    qint64 storedTotal = 0;
    for (int count : burst.stored) {
        accepted += count >= 0 ? 1 : 0;
        storedTotal += std::max(count, 0);
    }
    std::printf("# %d reports of %d records posted at once, on a fresh server\n", kLargeReports,
                kLargeReportRecords);
    benchPrint("large_report_compressed_mb", megabytes(double(compressed) / kLargeReports),
               "each; the collector's limit is 1 MiB");
    benchPrint("large_reports_inflated_mb", megabytes(double(inflated)), "all eight, as JSON");
    benchPrint("large_reports_accepted", accepted, "answered 200");
    benchPrint("large_reports_stored_records", double(storedTotal),
               ("of " + std::to_string(kLargeReports * kLargeReportRecords)).c_str());
    benchPrint("large_reports_seconds", burst.seconds, "from the first byte to the last answer");
}

// The reports of the load phases all come from one address: without the
// per-client limit, they measure what the collector itself can take.
QStringList serverArguments(const QString& dataFolder) {
    return {QStringLiteral("--host"),
            QStringLiteral("127.0.0.1"),
            QStringLiteral("--port"),
            QStringLiteral("%PORT%"),
            QStringLiteral("--data"),
            dataFolder,
            QStringLiteral("--client-records-per-second"),
            QStringLiteral("0")};
}

void benchMemory(const QString& program, const QByteArray& runTag) {
    QTemporaryDir data;
    ServerProcess server;
    if (!data.isValid() || !server.start(program, serverArguments(data.path()))) {
        std::printf("# memory: the server did not start\n");
        return;
    }
    qint64 inflated = 0;
    const std::vector<QByteArray> bodies = largeReports(runTag, &inflated);
    qint64 compressed = 0;
    for (const QByteArray& body : bodies)
        compressed += body.size();
    // "Before" is a server that has served, not one that has only started.
    const ServerProcess::Memory before = memoryAfterOnePage(server);
    Burst burst = postAtOnce(server, bodies);
    burst.polledPeakMb = std::max(burst.polledPeakMb, before.residentMb);
    const ServerProcess::Memory atEnd = server.memory();
    QThread::msleep(unsigned(kSettleSeconds * 1000));
    const ServerProcess::Memory after = server.memory();
    server.stop();

    printBurst(burst, compressed, inflated);
    benchPrint("server_rss_before_mb", before.residentMb, "VmRSS, idle after one page");
    benchPrint("server_rss_peak_polled_mb", burst.polledPeakMb, "VmRSS, highest seen every 2 ms");
    benchPrint("server_hwm_mb", atEnd.peakMb, "VmHWM once all eight were answered");
    benchPrint("server_rss_after_mb", after.residentMb,
               (std::to_string(int(kSettleSeconds)) + " s after the last answer").c_str());
}

// Fetches the ranking page from the server and saves it where Python
// serves files from.
bool saveRankingPage(int port, const QString& path, qint64* size) {
    LoopbackConnection connection;
    if (!connection.open(port))
        return false;
    const LoopbackConnection::Response page =
        connection.exchange(HttpLoad::head("GET", kRankingPath, false));
    QFile file(path);
    if (page.status != 200 || !file.open(QIODevice::WriteOnly))
        return false;
    *size = qint64(page.body.size());
    return file.write(page.body.data(), qint64(page.body.size())) == qint64(page.body.size());
}

// Python's file server on a folder holding only the saved ranking page.
bool startBaseline(ServerProcess& python, const QString& folder) {
    return python.start(QStringLiteral("python3"),
                        {QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("-b"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("-d"), folder,
                         QStringLiteral("-p"), QStringLiteral("HTTP/1.1"),
                         QStringLiteral("%PORT%")});
}

// nginx as operators run it for static files, with one worker and no access
// log, on a folder holding only the saved ranking page. Its configuration
// names the port, which is known only at the start: a shell writes it.
bool startNginx(ServerProcess& nginx, const QString& folder) {
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty())
        return false;
    const QString conf = folder + QStringLiteral("/nginx.conf.in");
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("worker_processes 1;\ndaemon off;\npid nginx.pid;\nerror_log stderr;\n"
               "events { worker_connections 1024; }\n"
               "http {\n  access_log off;\n  client_body_temp_path .; proxy_temp_path .;\n"
               "  fastcgi_temp_path .; uwsgi_temp_path .; scgi_temp_path .;\n"
               "  server { listen 127.0.0.1:PORT; root " +
               folder.toUtf8() + "; default_type text/html; }\n}\n");
    file.close();
    const QString script =
        QStringLiteral(
            "sed \"s/PORT/$1/\" nginx.conf.in > nginx.conf && exec %1 -p %2 -c nginx.conf "
            "-e stderr")
            .arg(program, folder);
    return nginx.start(QStringLiteral("sh"),
                       {QStringLiteral("-c"), QStringLiteral("cd '%1' && %2").arg(folder, script),
                        QStringLiteral("sh"), QStringLiteral("%PORT%")});
}

// One small report, to show that the load's reports are kept, not refused.
void checkSmallReport(int port, const QByteArray& runTag) {
    LoopbackConnection connection;
    const QByteArray body = gzip(reportJson(runTag + "-check", kSmallReportRecords, 0));
    const int stored =
        connection.open(port) ? storedRecords(connection.exchange(postRequest(body, false))) : -1;
    benchPrint("report_check_stored_records", stored,
               ("of " + std::to_string(kSmallReportRecords) + " in one report").c_str());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Another build of the server can be named, to compare two of them.
    const QStringList arguments = QCoreApplication::arguments();
    const QString program =
        arguments.size() > 1 ? arguments.at(1) : QStringLiteral(VANTORO_CONTENT_SERVER);
    const QByteArray runTag = noise(8);

    QTemporaryDir data;
    QTemporaryDir pages;
    ServerProcess server;
    if (!data.isValid() || !pages.isValid() ||
        !server.start(program, serverArguments(data.path()))) {
        std::printf("# the content server did not start: %s\n", qPrintable(program));
        return 1;
    }
    qint64 pageSize = 0;
    ServerProcess python;
    if (!saveRankingPage(server.port(), pages.filePath(QStringLiteral("ranking.html")),
                         &pageSize) ||
        !startBaseline(python, pages.path())) {
        std::printf("# the baseline (python3 -m http.server) did not start\n");
        return 1;
    }
    benchPrint("ranking_page_kb", double(pageSize) / 1024.0, "the page both servers send");
    checkSmallReport(server.port(), runTag);

    ServerProcess nginx;
    const Baselines baselines{python.port(), startNginx(nginx, pages.path()) ? nginx.port() : 0};
    benchThroughput(server.port(), baselines, runTag);
    benchPrint("server_hwm_after_load_mb", server.memory().peakMb, "VmHWM after the lines above");
    python.stop();
    nginx.stop();
    server.stop();

    benchMemory(program, runTag);
    UnderAttack(program).run();
    return 0;
}
