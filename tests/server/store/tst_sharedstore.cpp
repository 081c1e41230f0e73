#include "server/contentserver.h"
#include "server/reportintake.h"
#include "server/store/postgresreportstores.h"
#include "server/store/reportstore.h"
#include "server/store/reportstores.h"
#include "support/server/contentserverprocess.h"
#include "support/server/postgresinstance.h"
#include "support/server/storedreports.h"
#include "support/zlibpacked.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <functional>
#include <httplib.h>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

namespace {

const QByteArray kToken = "shared-store-token-0123456789";
constexpr int kRecords = 20000;
constexpr int kPerReport = 50;
constexpr int kClientThreads = 6;

struct Report {
    QStringList ids;
    std::string body; // gzip JSON
};

Report makeReport(const QString& prefix, int first, int count) {
    Report report;
    QByteArray json = "{\"event\":[";
    for (int i = first; i < first + count; ++i) {
        const QString id = prefix + QString::number(i);
        report.ids << id;
        json += (i > first ? "," : "") + QByteArray("{\"id\":\"") + id.toUtf8() +
                "\",\"type\":\"event\",\"ts\":" + QByteArray::number(1796780258 + i) +
                ",\"event_id\":\"" + (i % 3 == 0 ? "blow" : "haze") + "\",\"acc\":1,\"du\":0}";
    }
    report.body = zlibPacked(json + "]}", 31).toStdString();
    return report;
}

// A content server process on a free port of its own.
class ServerProcess {
public:
    bool start(const QString& dataFolder, const QString& database, const QString& tokenFile,
               const QString& logFile = {}) {
        m_port =
            startContentServer(m_process,
                               {QStringLiteral("--data"), dataFolder, QStringLiteral("--database"),
                                database, QStringLiteral("--admin-token-file"), tokenFile},
                               {}, logFile);
        return m_port > 0;
    }
    ~ServerProcess() {
        m_process.terminate();
        if (!m_process.waitForFinished(15000))
            m_process.kill();
        m_process.waitForFinished();
    }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

struct Sent {
    int status = 0; // 0: no answer
    int stored = 0;
    int duplicates = 0;
};

Sent post(httplib::Client& client, const Report& report) {
    const auto res = client.Post("/analytics/report", {{"Content-Encoding", "gzip"}}, report.body,
                                 "application/json");
    Sent sent;
    if (!res)
        return sent;
    sent.status = res->status;
    static const QRegularExpression counts(QStringLiteral(
        "\"stored\":(\\d+).*\"duplicates\":(\\d+)|\"duplicates\":(\\d+).*\"stored\":(\\d+)"));
    const auto m = counts.match(QString::fromStdString(res->body));
    if (m.hasMatch()) {
        sent.stored = (m.captured(1).isEmpty() ? m.captured(4) : m.captured(1)).toInt();
        sent.duplicates = (m.captured(2).isEmpty() ? m.captured(3) : m.captured(2)).toInt();
    }
    return sent;
}

// Sends every report once, from several threads at once, each thread taking
// the next report and sending it to the server `pick` names for it.
std::vector<Sent> sendAll(const std::vector<Report>& reports, const std::vector<int>& ports,
                          const std::function<int(std::size_t)>& pick,
                          const std::function<void(std::size_t)>& afterEach = {}) {
    std::vector<Sent> sent(reports.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kClientThreads; ++t)
        threads.emplace_back([&] {
            std::vector<std::unique_ptr<httplib::Client>> clients;
            for (const int port : ports) {
                clients.push_back(std::make_unique<httplib::Client>("127.0.0.1", port));
                clients.back()->set_keep_alive(true);
                clients.back()->set_read_timeout(30);
            }
            for (std::size_t i = next++; i < reports.size(); i = next++) {
                sent[i] = post(*clients[std::size_t(pick(i))], reports[i]);
                if (afterEach)
                    afterEach(i);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    return sent;
}

// Whether the server says its store can be reached, asking until it does.
bool healthyWithin(int port, int msecs) {
    httplib::Client client("127.0.0.1", port);
    for (QDeadlineTimer until(msecs); !until.hasExpired(); QThread::msleep(100)) {
        const auto res = client.Get("/healthz");
        if (res && res->status == 200)
            return true;
    }
    return false;
}

// Every figure of the dashboard, as "figure|qualifier=value" lines.
QStringList dashboardFigures(int port) {
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Get("/admin", {{"Authorization", "Bearer " + kToken.toStdString()}});
    if (!res || res->status != 200)
        return {QStringLiteral("no dashboard")};
    static const QRegularExpression figure(
        QStringLiteral("data-figure=\"([a-z-]+)\"([^>]*)>([^<]*)<"));
    QStringList figures;
    for (auto it = figure.globalMatch(QString::fromStdString(res->body)); it.hasNext();) {
        const auto m = it.next();
        figures << m.captured(1) + u'|' + m.captured(2).trimmed() + u'=' + m.captured(3);
    }
    return figures;
}

} // namespace

class TestSharedStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void twoProcessesKeepEachRecordOnce();
    void theDatabaseStopsAndComesBackMidStream();
    void refusalsAreTheSameWithBothStores_data();
    void refusalsAreTheSameWithBothStores();
    void aSecondProcessOnOneSqliteFileIsRefused();
    void aSignInHoldsInEveryProcessUntilItsSignOut();

private:
    QString tokenFile();

    QTemporaryDir m_dir;
    std::unique_ptr<PostgresInstance> m_postgres;
};

void TestSharedStore::initTestCase() {
    PostgresReportStores::install();
    m_postgres = std::make_unique<PostgresInstance>();
    QString why;
    if (!m_postgres->start(&why))
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server to share: ") + why));
}

QString TestSharedStore::tokenFile() {
    const QString path = m_dir.filePath(QStringLiteral("token"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(kToken);
    return path;
}

void TestSharedStore::twoProcessesKeepEachRecordOnce() {
    ServerProcess a;
    ServerProcess b;
    QVERIFY(a.start(m_dir.filePath(QStringLiteral("a")), m_postgres->url(), tokenFile()));
    QVERIFY(b.start(m_dir.filePath(QStringLiteral("b")), m_postgres->url(), tokenFile()));

    // 400 reports of 50 records; 30 % of them sent again, as after a lost
    // answer, and the second time to the other process, as a load balancer
    // may do. Shuffled, so a report and its resend can be in flight at once.
    std::vector<Report> reports;
    for (int first = 0; first < kRecords; first += kPerReport)
        reports.push_back(makeReport(QStringLiteral("once-"), first, kPerReport));
    const std::size_t originals = reports.size();
    std::vector<int> resendOf(originals, -1);
    for (std::size_t i = 0; i < originals * 3 / 10; ++i) {
        resendOf.push_back(int(i * 10 / 3));
        reports.push_back(reports[std::size_t(resendOf.back())]);
    }
    std::vector<std::size_t> order(reports.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    std::vector<Report> shuffled;
    std::vector<int> server;
    for (const std::size_t i : order) {
        shuffled.push_back(reports[i]);
        server.push_back(i < originals ? int(i % 2) : 1 - resendOf[i] % 2);
    }
    const std::vector<Sent> sent =
        sendAll(shuffled, {a.port(), b.port()}, [&](std::size_t i) { return server[i]; });

    int stored = 0;
    int duplicates = 0;
    for (const Sent& s : sent) {
        QCOMPARE(s.status, 200);
        stored += s.stored;
        duplicates += s.duplicates;
    }
    QCOMPARE(stored, kRecords);
    QCOMPARE(duplicates, kRecords * 3 / 10);

    const std::unique_ptr<ReportStore> store = ReportStores::open(m_postgres->url());
    QVERIFY(store->isOpen());
    const QStringList ids = StoredReports(*store).recordIds();
    QCOMPARE(ids.size(), kRecords);
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), kRecords);

    // The two processes read the same numbers from the shared store.
    const QStringList figuresA = dashboardFigures(a.port());
    QVERIFY(figuresA.size() > 10);
    QCOMPARE(dashboardFigures(b.port()), figuresA);
}

void TestSharedStore::theDatabaseStopsAndComesBackMidStream() {
    ServerProcess a;
    ServerProcess b;
    QVERIFY(a.start(m_dir.filePath(QStringLiteral("c")), m_postgres->url(), tokenFile()));
    QVERIFY(b.start(m_dir.filePath(QStringLiteral("d")), m_postgres->url(), tokenFile()));
    std::vector<Report> reports;
    for (int first = 0; first < 300 * 10; first += 10)
        reports.push_back(makeReport(QStringLiteral("outage-"), first, 10));

    // The database goes away after the first 60 reports and comes back
    // after the next 120 have been tried.
    std::atomic<int> done{0};
    std::mutex outage;
    bool stopped = false;
    std::atomic<bool> restarted{false};
    QString restartError;
    std::vector<char> sentAfterRestart(reports.size(), 0);
    const std::vector<Sent> sent = sendAll(
        reports, {a.port(), b.port()},
        [&](std::size_t i) {
            sentAfterRestart[i] = restarted.load();
            return int(i % 2);
        },
        [&](std::size_t) {
            const int n = ++done;
            std::lock_guard lock(outage);
            if (n >= 60 && !stopped) {
                stopped = true;
                m_postgres->stop();
            } else if (n >= 180 && stopped && !restarted) {
                if (!m_postgres->start(&restartError))
                    restartError.prepend(QStringLiteral("restart: "));
                // Each process waits a moment after a failed connect before
                // it tries again; the reports after this are sent once both
                // say they can store, so that the test sees them store again.
                else if (!healthyWithin(a.port(), 15000) || !healthyWithin(b.port(), 15000))
                    restartError =
                        QStringLiteral("restart: a process never found the database again");
                restarted = true;
            }
        });
    QVERIFY(stopped && restarted);
    QVERIFY2(!restartError.startsWith(QStringLiteral("restart")), qPrintable(restartError));

    const std::unique_ptr<ReportStore> store = ReportStores::open(m_postgres->url());
    QVERIFY(store->isOpen());
    const QStringList ids = StoredReports(*store).recordIds();
    const QSet<QString> kept(ids.begin(), ids.end());
    int refused = 0;
    int storedAfterRestart = 0;
    std::vector<Report> again;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (sent[i].status == 200) {
            // No 200 for a report that is not stored.
            for (const QString& id : reports[i].ids)
                QVERIFY2(kept.contains(id), qPrintable(id));
            storedAfterRestart += sentAfterRestart[i];
            continue;
        }
        QVERIFY2(sent[i].status == 503 || sent[i].status == 0,
                 qPrintable(QString::number(sent[i].status)));
        ++refused;
        again.push_back(reports[i]);
    }
    QVERIFY(refused > 0);
    // Both processes stored again once the database was back, without a restart.
    QVERIFY(storedAfterRestart > 0);

    // What was refused is sent again, as the application does: each record
    // ends up kept exactly once.
    for (const Sent& s :
         sendAll(again, {a.port(), b.port()}, [](std::size_t i) { return int(i % 2); }))
        QCOMPARE(s.status, 200);
    const QStringList after = StoredReports(*store).recordIds();
    QCOMPARE(QSet<QString>(after.begin(), after.end()).size(), after.size());
    int outageIds = 0;
    for (const QString& id : after)
        outageIds += id.startsWith(QLatin1String("outage-")) ? 1 : 0;
    QCOMPARE(outageIds, 3000);
}

void TestSharedStore::refusalsAreTheSameWithBothStores_data() {
    QTest::addColumn<QString>("database");
    QTest::newRow("sqlite") << QStringLiteral("sqlite:") +
                                   m_dir.filePath(QStringLiteral("limits.sqlite"));
    QTest::newRow("postgresql") << m_postgres->url();
}

void TestSharedStore::refusalsAreTheSameWithBothStores() {
    QFETCH(QString, database);
    ContentServer server;
    server.setDataFolder(m_dir.filePath(QStringLiteral("limits")));
    server.setDatabaseUrl(database);
    QVERIFY(server.start());
    httplib::Client client("127.0.0.1", server.port());
    auto status = [&client](const std::string& body) {
        const auto res = client.Post("/analytics/report", {{"Content-Encoding", "gzip"}}, body,
                                     "application/json");
        return res ? res->status : 0;
    };
    const int before = StoredReports(server).reportCount();
    QCOMPARE(status(makeReport(QStringLiteral("limit-"), 0, ReportIntake::kMaxRecords + 1).body),
             413);
    QCOMPARE(status(zlibPacked("{\"event\": [{\"id\": \"x\"", 31).toStdString()), 400);
    QCOMPARE(status(zlibPacked("{\"event\": [{\"id\": 7}]}", 31).toStdString()), 400);
    QCOMPARE(status(std::string(ContentServer::kMaxCompressedReport + 1, 'x')), 413);
    QCOMPARE(StoredReports(server).reportCount(), before);
    const std::unique_ptr<ReportStore> store = ReportStores::open(database);
    for (const QString& id : StoredReports(*store).recordIds())
        QVERIFY2(!id.startsWith(QLatin1String("limit-")) && id != QLatin1String("x"),
                 qPrintable(id));
}

// Processes share PostgreSQL; a second one on an SQLite file is refused at
// its start, saying why, and may start once the first has stopped.
void TestSharedStore::aSecondProcessOnOneSqliteFileIsRefused() {
    const QString database = QStringLiteral("sqlite:") + m_dir.filePath("one.sqlite");
    const QString log = m_dir.filePath(QStringLiteral("second.log"));
    auto first = std::make_unique<ServerProcess>();
    QVERIFY(first->start(m_dir.filePath(QStringLiteral("one-a")), database, tokenFile()));
    ServerProcess second;
    QVERIFY(!second.start(m_dir.filePath(QStringLiteral("one-b")), database, tokenFile(), log));
    QFile text(log);
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY2(text.readAll().contains("is in use by another server"), qPrintable(log));
    first.reset();
    ServerProcess third;
    QVERIFY(third.start(m_dir.filePath(QStringLiteral("one-c")), database, tokenFile()));
}

// A browser signs in at one process and the load balancer sends its next
// requests to another; the sign-out, wherever it lands, ends it for both.
void TestSharedStore::aSignInHoldsInEveryProcessUntilItsSignOut() {
    const QString database = m_postgres->url();
    const QString tag = QStringLiteral("sessions");
    ServerProcess a;
    ServerProcess b;
    QVERIFY(a.start(m_dir.filePath(tag + QStringLiteral("-a")), database, tokenFile()));
    QVERIFY(b.start(m_dir.filePath(tag + QStringLiteral("-b")), database, tokenFile()));
    httplib::Client atA("127.0.0.1", a.port());
    httplib::Client atB("127.0.0.1", b.port());
    const auto login = atA.Post("/admin/login", "token=" + kToken.toStdString(),
                                "application/x-www-form-urlencoded");
    QVERIFY(login);
    QCOMPARE(login->status, 303);
    const std::string setCookie = login->get_header_value("Set-Cookie");
    const httplib::Headers cookie{{"Cookie", setCookie.substr(0, setCookie.find(';'))}};
    QCOMPARE(atA.Get("/admin", cookie)->status, 200);
    QCOMPARE(atB.Get("/admin", cookie)->status, 200);

    QCOMPARE(atB.Post("/admin/logout", cookie, "", "text/plain")->status, 303);
    QCOMPARE(atA.Get("/admin", cookie)->status, 401);
    QCOMPARE(atB.Get("/admin", cookie)->status, 401);
}

QTEST_GUILESS_MAIN(TestSharedStore)
#include "tst_sharedstore.moc"
