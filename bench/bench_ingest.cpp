// How many records per second the collector keeps through
// POST /analytics/report (reports of 50 records, each record new, on
// keep-alive connections from several client threads), and the p99 latency
// of one POST: with SQLite in one server process (the baseline), with
// PostgreSQL and one process, and with PostgreSQL and two processes sharing
// the database, the load split between them. All in one run, against the
// stand-alone executable, with a PostgreSQL server the benchmark starts
// itself (skipped with a message when PostgreSQL is not installed). The
// PostgreSQL figures are also given against what the database takes through
// one COPY of the same kind of records into the same table.
#include "benchoutput.h"
#ifdef VANTORO_POSTGRES
#include "copybaseline.h"
#endif
#include "cpuusage.h"
#include "httpload.h"
#include "serverprocess.h"
#include "support/server/postgresinstance.h"
#include "support/zlibpacked.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>
#include <future>
#include <vector>

namespace {

constexpr int kRecordsPerReport = 50;
constexpr int kClientThreads = 8;
constexpr double kSeconds = 4.0;
constexpr double kWarmUpSeconds = 0.5;
// About as many as the collector keeps in one measured run.
constexpr int kCopyRecords = 200'000;

QByteArray record(const QByteArray& id) {
    return "{\"id\":\"" + id +
           "\",\"type\":\"event\",\"ts\":1796780258,\"session_id\":\"S\","
           "\"event_id\":\"blow\",\"acc\":1,\"du\":0}";
}

QByteArray report(const QByteArray& prefix) {
    QByteArray json = "{\"event\":[";
    for (int i = 0; i < kRecordsPerReport; ++i)
        json += (i > 0 ? "," : "") + record(prefix + '-' + QByteArray::number(i));
    return json + "],\"header\":{\"appkey\":\"bench\"}}";
}

HttpLoad::Settings load(int port, int connections, const std::string& tag, double seconds) {
    HttpLoad::Settings settings;
    settings.port = port;
    settings.connections = connections;
    settings.seconds = seconds;
    settings.maxRequests = 1'000'000;
    settings.request = [tag](int connection, int n) {
        const QByteArray body =
            zlibPacked(report(QByteArray::fromStdString(tag) + "-c" +
                              QByteArray::number(connection) + "-n" + QByteArray::number(n)),
                       31);
        return HttpLoad::head("POST", "/analytics/report", true,
                              "Content-Encoding: gzip\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\n") +
               body.toStdString();
    };
    return settings;
}

struct Figures {
    double recordsPerSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failed = 0;
    // What limited the run: how busy the whole machine was, and how much of
    // that was this process (the clients building and compressing reports).
    double machineBusyPercent = 0;
    double clientPercentOfCore = 0;
};

// Jiffies of the whole machine from /proc/stat: busy and all.
std::pair<double, double> machineTicks() {
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {0, 0};
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    double total = 0;
    double idle = 0;
    for (int i = 1; i < fields.size(); ++i) {
        total += fields[i].toDouble();
        if (i == 4 || i == 5) // idle, iowait
            idle += fields[i].toDouble();
    }
    return {total - idle, total};
}

// The client threads split evenly over the servers, all at once.
Figures measure(const std::vector<int>& ports, const std::string& tag, double seconds) {
    const auto ticksBefore = machineTicks();
    const CpuUsage cpuBefore = CpuUsage::sample();
    std::vector<std::future<HttpLoad::Result>> runs;
    const int perServer = kClientThreads / int(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i)
        runs.push_back(std::async(std::launch::async, [&, i] {
            return HttpLoad::run(
                load(ports[i], perServer, tag + "-s" + std::to_string(i), seconds));
        }));
    std::vector<double> latencies;
    Figures figures;
    double longest = 0;
    int completed = 0;
    for (auto& run : runs) {
        const HttpLoad::Result result = run.get();
        completed += result.completed;
        figures.failed += result.failed;
        longest = std::max(longest, result.seconds);
        latencies.insert(latencies.end(), result.latencyMs.values().begin(),
                         result.latencyMs.values().end());
    }
    const auto ticksAfter = machineTicks();
    figures.clientPercentOfCore = CpuUsage::sample().percentOfCoreSince(cpuBefore);
    const double allTicks = ticksAfter.second - ticksBefore.second;
    figures.machineBusyPercent =
        allTicks > 0 ? 100.0 * (ticksAfter.first - ticksBefore.first) / allTicks : 0;
    const SampleStats stats(std::move(latencies));
    figures.recordsPerSecond = longest > 0 ? completed * kRecordsPerReport / longest : 0;
    figures.p50 = stats.median();
    figures.p99 = stats.percentile(99);
    return figures;
}

#ifdef VANTORO_POSTGRES
// Ids of the shape the clients send ("pg2-s0-c1-n23-7"), each new.
CopyBaseline::Record copyRecord(int n) {
    const QByteArray id = "cp-s0-c" + QByteArray::number(n % kClientThreads) + "-n" +
                          QByteArray::number(n / kRecordsPerReport) + '-' +
                          QByteArray::number(n % kRecordsPerReport);
    return {id, record(id)};
}

// Records per second through COPY into a fresh database; 0 when it failed.
double copyBaseline(PostgresInstance& postgres) {
    QString why;
    const QString url = postgres.createDatabase(QStringLiteral("copy"), &why);
    const double perSecond =
        url.isEmpty() ? 0 : CopyBaseline::recordsPerSecond(url, copyRecord, kCopyRecords, &why);
    if (perSecond > 0)
        benchPrint("postgres_copy.records_per_s", perSecond,
                   "baseline of PostgreSQL: one COPY FROM STDIN, one connection");
    else
        std::printf("# COPY baseline skipped: %s\n", qPrintable(why));
    return perSecond;
}
#else
double copyBaseline(PostgresInstance&) {
    std::printf("# COPY baseline skipped: built without the PostgreSQL store\n");
    return 0;
}
#endif

void printOfCopy(const std::string& name, const Figures& figures, double copy) {
    if (copy <= 0)
        return;
    char note[32];
    std::snprintf(note, sizeof note, "x%.2f of COPY", figures.recordsPerSecond / copy);
    benchPrint(name + ".records_of_copy", figures.recordsPerSecond / copy, note);
}

void print(const std::string& name, const Figures& figures, const Figures* baseline) {
    auto ratio = [baseline](double value, double base) {
        static char note[64];
        if (!baseline)
            return "baseline";
        std::snprintf(note, sizeof note, "x%.2f of SQLite", base > 0 ? value / base : 0.0);
        return static_cast<const char*>(note);
    };
    benchPrint(name + ".records_per_s", figures.recordsPerSecond,
               ratio(figures.recordsPerSecond, baseline ? baseline->recordsPerSecond : 0));
    benchPrint(name + ".post_p50_ms", figures.p50,
               ratio(figures.p50, baseline ? baseline->p50 : 0));
    benchPrint(name + ".post_p99_ms", figures.p99,
               ratio(figures.p99, baseline ? baseline->p99 : 0));
    benchPrint(name + ".machine_busy_percent", figures.machineBusyPercent, "of all cores");
    benchPrint(name + ".client_cpu_percent", figures.clientPercentOfCore,
               "of one core, building and sending the reports");
    if (figures.failed > 0)
        benchPrint(name + ".failed", figures.failed, "POSTs without a 200 answer");
}

Figures run(const std::vector<ServerProcess*>& servers, const std::string& tag) {
    std::vector<int> ports;
    for (ServerProcess* server : servers)
        ports.push_back(server->port());
    measure(ports, tag + "-warm", kWarmUpSeconds);
    return measure(ports, tag, kSeconds);
}

bool startServer(ServerProcess& server, const QString& data, const QString& database) {
    // The collector's own capacity: every client here is one address, which
    // the per-client limit would hold to a trickle.
    QStringList arguments{QStringLiteral("--port"),
                          QStringLiteral("%PORT%"),
                          QStringLiteral("--data"),
                          data,
                          QStringLiteral("--client-records-per-second"),
                          QStringLiteral("0")};
    if (!database.isEmpty())
        arguments << QStringLiteral("--database") << database;
    if (server.start(QStringLiteral(VANTORO_CONTENT_SERVER), arguments))
        return true;
    std::fprintf(stderr, "bench_ingest: the content server did not start\n");
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The COPY baseline sets up its database with the store's schema code,
    // which says so in the log; the figures are all this prints.
    QLoggingCategory::setFilterRules(QStringLiteral("vantoro.server.info=false"));
    QTemporaryDir dir;
    std::printf("# %d client threads, keep-alive, reports of %d new records, %.0f s each\n",
                kClientThreads, kRecordsPerReport, kSeconds);

    ServerProcess sqlite;
    if (!startServer(sqlite, dir.filePath(QStringLiteral("sqlite")), QString()))
        return 1;
    const Figures baseline = run({&sqlite}, "sqlite");
    sqlite.stop();
    print("sqlite_1_process", baseline, nullptr);

    PostgresInstance postgres;
    QString why;
    if (!postgres.start(&why)) {
        std::printf("# PostgreSQL figures skipped: %s\n", qPrintable(why));
        return 0;
    }
    const double copy = copyBaseline(postgres);
    ServerProcess first;
    ServerProcess second;
    if (!startServer(first, dir.filePath(QStringLiteral("pg1")), postgres.url()))
        return 1;
    const Figures one = run({&first}, "pg1");
    print("postgres_1_process", one, &baseline);
    printOfCopy("postgres_1_process", one, copy);
    if (!startServer(second, dir.filePath(QStringLiteral("pg2")), postgres.url()))
        return 1;
    const Figures two = run({&first, &second}, "pg2");
    print("postgres_2_processes", two, &baseline);
    printOfCopy("postgres_2_processes", two, copy);
    return 0;
}
