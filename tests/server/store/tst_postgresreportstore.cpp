#include "server/reports/recordcolumns.h"
#include "server/store/pgschema.h"
#include "server/store/postgresreportstore.h"
#include "server/store/postgresreportstores.h"
#include "server/store/reportstores.h"
#include "support/server/postgresinstance.h"
#include "support/server/storedreports.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <atomic>
#include <libpq-fe.h>
#include <memory>
#include <thread>

namespace {

// Records with these ids, as views of texts that live as long as the report.
struct TestReport {
    QList<QByteArray> texts;
    ReportStore::Report report;
};

TestReport reportOf(const QStringList& ids, qint64 dropped = 0) {
    TestReport r;
    for (const QString& id : ids)
        r.texts << (id.isNull() ? QByteArray(R"({ "type": "launch", "ts": 1796780258 })")
                                : R"({ "id": ")" + id.toUtf8() + R"(", "type": "launch" })");
    for (int i = 0; i < ids.size(); ++i)
        r.report.records.append({ids[i], r.texts[i]});
    r.report.droppedRecords = dropped;
    return r;
}

QStringList range(const QString& prefix, int first, int count) {
    QStringList ids;
    for (int i = first; i < first + count; ++i)
        ids << prefix + QString::number(i);
    return ids;
}

// Runs SQL on the database as an administrator would, outside the store.
bool runSql(const QString& url, const char* sql) {
    PGconn* conn = PQconnectdb(url.toUtf8().constData());
    PGresult* result = PQexec(conn, sql);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok)
        qWarning("%s", PQerrorMessage(conn));
    PQclear(result);
    PQfinish(conn);
    return ok;
}

// Reports the store tried again after a conflict: two reports that share
// ids and lock them in the same order never deadlock, so there should be
// none.
std::atomic<int> g_retries = 0;
QtMessageHandler g_previousHandler = nullptr;

void countRetries(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("trying a report again")))
        ++g_retries;
    g_previousHandler(type, context, message);
}

} // namespace

class TestPostgresReportStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void recordsAreKeptOnceAcrossServerProcesses();
    void aReportThatFailsHalfWayLeavesNothing();
    void aReportIsCountedAndKeptInItsOrder_data();
    void aReportIsCountedAndKeptInItsOrder();
    void overlappingReportsAtOnceAreCountedExactly();
    void aStoppedDatabaseRefusesQuicklyAndIsUsedAgainWhenBack();
    void aDatabaseDownAtOpenIsSetUpOnFirstUse();
    void twoStoresOpeningTogetherCreateTheTablesOnce();
    void aVersionOneDatabaseIsUpgradedStepByStep();
    void selectTranslatesParametersAndOnlyReads();
    void sessionsAreSharedExpireAndEndForEveryStore();

private:
    std::unique_ptr<ReportStore> openStore();

    std::unique_ptr<PostgresInstance> m_postgres;
    QString m_url; // a new database for each test function
    int m_databases = 0;
};

void TestPostgresReportStore::initTestCase() {
    PostgresReportStores::install();
    m_postgres = std::make_unique<PostgresInstance>();
    QString why;
    if (!m_postgres->start(&why))
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL server for the store: ") + why));
}

void TestPostgresReportStore::init() {
    QString why;
    QVERIFY2(m_postgres->start(&why), qPrintable(why));
    m_url = m_postgres->createDatabase(QStringLiteral("t%1").arg(++m_databases), &why);
    QVERIFY2(!m_url.isEmpty(), qPrintable(why));
}

std::unique_ptr<ReportStore> TestPostgresReportStore::openStore() {
    std::unique_ptr<ReportStore> store = ReportStores::open(m_url);
    return store;
}

// Two store objects are two processes' worth of connections.
void TestPostgresReportStore::recordsAreKeptOnceAcrossServerProcesses() {
    const auto a = openStore();
    const auto b = openStore();
    QVERIFY(dynamic_cast<PostgresReportStore*>(a.get()));
    QVERIFY(a->isOpen() && b->isOpen());

    const TestReport first = reportOf({"r3", "r1", QString(), "r2"}, 2);
    ReportStore::Outcome outcome = a->store(first.report, QStringLiteral("public"));
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.stored, 4);
    QCOMPARE(outcome.duplicates, 0);
    // Sent again to the other process, with more: only the new ids and the
    // record without one are kept.
    const TestReport again = reportOf({"r2", "r5", "r1", QString(), "r4", "r5"}, 1);
    outcome = b->store(again.report);
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.stored, 3);
    QCOMPARE(outcome.duplicates, 3);

    QCOMPARE(StoredReports(*a).recordIds(), (QStringList{"r3", "r1", "r2", "r5", "r4"}));
    QCOMPARE(StoredReports(*b).reportCount(), 2);
    QCOMPARE(StoredReports(*b).droppedRecords(), 3);
    QCOMPARE(StoredReports(*a).reportClients(), (QStringList{"public", ""}));
    const QList<QByteArray> bodies = StoredReports(*a).recordBodies();
    QCOMPARE(bodies.size(), 7);
    QCOMPARE(bodies[0], R"({"id":"r3","type":"launch"})");
    QCOMPARE(bodies[2], R"({"type":"launch","ts":1796780258})");
    QString error;
    const QList<QVariantList> counts =
        a->select("SELECT stored, duplicates FROM reports ORDER BY id", {}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(counts, (QList<QVariantList>{{4LL, 0LL}, {3LL, 3LL}}));
    // An empty report is answered as kept and leaves nothing.
    QVERIFY(a->store({}).ok);
    QCOMPARE(StoredReports(*a).reportCount(), 2);
}

void TestPostgresReportStore::aReportThatFailsHalfWayLeavesNothing() {
    const auto store = openStore();
    QVERIFY(store->isOpen());
    QVERIFY(runSql(m_url, "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                          "IF NEW.record_id = 'boom' THEN RAISE EXCEPTION 'refused'; END IF; "
                          "RETURN NEW; END $$; CREATE TRIGGER refuse BEFORE INSERT ON records "
                          "FOR EACH ROW EXECUTE FUNCTION refuse()"));
    QVERIFY(store->store(reportOf({"a1"}).report).ok);
    // "a2" and "a3" come before "boom" in any order the store might take.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a report was not kept.*refused"));
    const ReportStore::Outcome failed =
        store->store(reportOf({"a2", "a3", "boom", "a1"}, 5).report);
    QVERIFY(!failed.ok);
    QCOMPARE(StoredReports(*store).recordIds(), QStringList{"a1"});
    QCOMPARE(StoredReports(*store).reportCount(), 1);
    QCOMPARE(StoredReports(*store).droppedRecords(), 0);
    // The connection is fine for the next report.
    const ReportStore::Outcome next = store->store(reportOf({"a2", "a3"}).report);
    QVERIFY(next.ok);
    QCOMPARE(next.stored, 2);
}

void TestPostgresReportStore::aReportIsCountedAndKeptInItsOrder_data() {
    QTest::addColumn<QStringList>("before"); // kept by an earlier report
    QTest::addColumn<QStringList>("ids");    // a null one for a record without an id
    QTest::addColumn<qint64>("dropped");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("duplicates");

    QTest::newRow("the same ids twice in itself")
        << QStringList() << QStringList{"d2", "d1", "d2", QString(), "d1", "d3", QString()}
        << qint64(0) << 5 << 2;
    QTest::newRow("partly kept already")
        << QStringList{"p4", "p2"} << QStringList{"p4", "p1", "p2", "p3"} << qint64(1) << 2 << 2;
    QTest::newRow("all kept already")
        << QStringList{"a1", "a2"} << QStringList{"a2", "a1"} << qint64(0) << 0 << 2;
    QTest::newRow("only a drop count") << QStringList() << QStringList() << qint64(7) << 0 << 0;
    // Backwards, so that the order of record ids is the reverse of arrival;
    // every other one kept already.
    QStringList large = range(QStringLiteral("L"), 10000, 5000);
    std::reverse(large.begin(), large.end());
    QStringList everyOther;
    for (int i = 0; i < large.size(); i += 2)
        everyOther << large[i];
    QTest::newRow("large, half kept already") << everyOther << large << qint64(0) << 2500 << 2500;
}

// The report row says what was kept, and the records kept have row ids in
// the order they came in the report, whatever the order of their ids.
void TestPostgresReportStore::aReportIsCountedAndKeptInItsOrder() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, ids);
    QFETCH(qint64, dropped);
    QFETCH(int, stored);
    QFETCH(int, duplicates);
    const auto store = openStore();
    if (!before.isEmpty())
        QVERIFY(store->store(reportOf(before).report).ok);

    const ReportStore::Outcome outcome = store->store(reportOf(ids, dropped).report);
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.stored, stored);
    QCOMPARE(outcome.duplicates, duplicates);
    QString error;
    QCOMPARE(store->select("SELECT stored, duplicates, dropped FROM reports ORDER BY id DESC "
                           "LIMIT 1",
                           {}, &error),
             (QList<QVariantList>{{qlonglong(stored), qlonglong(duplicates), dropped}}));
    QVariantList arrived;
    QSet<QString> seen(before.begin(), before.end());
    for (const QString& id : ids) {
        if (id.isNull())
            arrived << QVariant();
        else if (!seen.contains(id))
            arrived << id;
        seen.insert(id);
    }
    QVariantList kept;
    for (const QVariantList& row :
         store->select("SELECT record_id FROM records WHERE report = (SELECT MAX(id) FROM "
                       "reports) ORDER BY id",
                       {}, &error))
        kept << row.value(0);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(kept, arrived);
}

// Three threads on each of two stores send reports whose ids overlap
// those of the others, in different orders.
void TestPostgresReportStore::overlappingReportsAtOnceAreCountedExactly() {
    const auto a = openStore();
    const auto b = openStore();
    constexpr int kThreads = 6;
    constexpr int kReports = 20;
    constexpr int kPerReport = 200;
    std::atomic<int> stored = 0;
    std::atomic<int> seen = 0;
    std::atomic<int> failures = 0;
    std::vector<std::thread> threads;
    g_retries = 0;
    g_previousHandler = qInstallMessageHandler(countRetries);
    auto restore = qScopeGuard([] { qInstallMessageHandler(g_previousHandler); });
    QSet<QString> distinct;
    QList<QStringList> plans[kThreads];
    for (int t = 0; t < kThreads; ++t)
        for (int r = 0; r < kReports; ++r) {
            // All threads send overlapping ranges at the same pace, every
            // other one backwards; every report has one record without an id.
            QStringList ids = range(QStringLiteral("id"), (r * 50 + t % 3 * 20) % 2000, kPerReport);
            if (t % 2)
                std::reverse(ids.begin(), ids.end());
            ids << QString();
            for (const QString& id : ids)
                if (!id.isNull())
                    distinct.insert(id);
            plans[t] << ids;
        }
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ReportStore& store = t % 2 ? *b : *a;
            for (const QStringList& ids : plans[t]) {
                const ReportStore::Outcome outcome = store.store(reportOf(ids).report);
                if (!outcome.ok || outcome.stored + outcome.duplicates != ids.size())
                    ++failures;
                stored += outcome.stored;
                seen += outcome.stored + outcome.duplicates;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
    const int withoutId = kThreads * kReports;
    QCOMPARE(stored.load(), int(distinct.size()) + withoutId);
    QCOMPARE(seen.load(), kThreads * kReports * (kPerReport + 1));
    const QStringList ids = StoredReports(*a).recordIds();
    QCOMPARE(ids.size(), distinct.size());
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()), distinct);
    QString error;
    QCOMPARE(a->select("SELECT SUM(stored) FROM reports", {}, &error),
             (QList<QVariantList>{{double(stored.load())}}));
    QCOMPARE(g_retries.load(), 0);
}

void TestPostgresReportStore::aStoppedDatabaseRefusesQuicklyAndIsUsedAgainWhenBack() {
    const auto store = openStore();
    QVERIFY(store->store(reportOf({"before"}).report).ok);
    m_postgres->stop();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report database cannot be reached"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!store->store(reportOf({"during"}).report).ok);
    QVERIFY(!store->isOpen());
    for (int i = 0; i < 20; ++i)
        QVERIFY(!store->store(reportOf({"during"}).report).ok);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));

    QString why;
    QVERIFY2(m_postgres->start(&why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(store->isOpen(), 5000);
    const ReportStore::Outcome after = store->store(reportOf({"before", "after"}).report);
    QVERIFY(after.ok);
    QCOMPARE(after.stored, 1);
    QCOMPARE(StoredReports(*store).recordIds(), (QStringList{"before", "after"}));
}

void TestPostgresReportStore::aDatabaseDownAtOpenIsSetUpOnFirstUse() {
    m_postgres->stop();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report database cannot be reached"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot be used yet"));
    const auto store = openStore();
    QVERIFY(!store->isOpen());
    QString why;
    QVERIFY2(m_postgres->start(&why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(store->isOpen(), 5000);
    QVERIFY(store->store(reportOf({"x"}).report).ok);
    QCOMPARE(StoredReports(*store).recordIds(), QStringList{"x"});
}

void TestPostgresReportStore::twoStoresOpeningTogetherCreateTheTablesOnce() {
    PostgresReportStore a(m_url);
    PostgresReportStore b(m_url);
    bool openedA = false;
    bool openedB = false;
    QString errorA;
    QString errorB;
    std::thread first([&] { openedA = a.open(&errorA); });
    std::thread second([&] { openedB = b.open(&errorB); });
    first.join();
    second.join();
    QVERIFY2(openedA, qPrintable(errorA));
    QVERIFY2(openedB, qPrintable(errorB));
    QString error;
    // Every step once, each recorded.
    const qlonglong steps = PgSchema::steps().size();
    QCOMPARE(a.select("SELECT COUNT(*), MAX(version) FROM vantoro_schema", {}, &error),
             (QList<QVariantList>{{steps, qlonglong(PgSchema::version())}}));
    // Opened again, nothing is applied again.
    PostgresReportStore c(m_url);
    QVERIFY(c.open(&error));
    QCOMPARE(c.select("SELECT COUNT(*) FROM vantoro_schema", {}, &error).value(0).value(0), steps);
}

// A database at version 1, as the first release made it, holding a report;
// then brought up to today's steps and one more: each step runs once and is
// recorded, the report stays, and the records have every column of today.
void TestPostgresReportStore::aVersionOneDatabaseIsUpgradedStepByStep() {
    PGconn* conn = PQconnectdb(m_url.toUtf8().constData());
    const auto close = qScopeGuard([conn] { PQfinish(conn); });
    QString error;
    QVERIFY2(PgSchema::ensure(conn, PgSchema::steps().first(1), &error), qPrintable(error));
    PGresult* kept = PQexec(conn, "INSERT INTO reports(received, stored, dropped) "
                                  "VALUES('2026-01-01T00:00:00Z', 2, 0); "
                                  "INSERT INTO records(report, record_id, body) "
                                  "SELECT MAX(id), 'u' || n, '{}' FROM reports, "
                                  "generate_series(1, 2) n GROUP BY n ORDER BY n");
    QCOMPARE(PQresultStatus(kept), PGRES_COMMAND_OK);
    PQclear(kept);

    QList<PgSchema::Step> upgraded = PgSchema::steps();
    const int next = PgSchema::version() + 1;
    // Without IF NOT EXISTS: a second run of the step would fail.
    upgraded.append(
        {next,
         {"ALTER TABLE reports ADD COLUMN note TEXT", "UPDATE reports SET note = 'upgraded'"}});
    for (int run = 0; run < 2; ++run)
        QVERIFY2(PgSchema::ensure(conn, upgraded, &error), qPrintable(error));

    const auto store = openStore();
    QCOMPARE(
        store->select("SELECT version FROM vantoro_schema ORDER BY version", {}, &error).size(),
        next);
    QCOMPARE(store->select("SELECT COUNT(*), MIN(note) FROM reports", {}, &error),
             (QList<QVariantList>{{1LL, "upgraded"}}));
    QCOMPARE(StoredReports(*store).recordIds(), (QStringList{"u1", "u2"}));
    QCOMPARE(store->select("SELECT " + RecordColumns::names() + " FROM records", {}, &error).size(),
             2);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(store->select("SELECT COUNT(*) FROM admin_sessions", {}, &error),
             (QList<QVariantList>{{0LL}}));
}

void TestPostgresReportStore::selectTranslatesParametersAndOnlyReads() {
    const auto store = openStore();
    QVERIFY(store->store(reportOf({"q1"}).report).ok);
    QString error;
    // Question marks in texts, names and comments are not parameters.
    QCOMPARE(store->select("SELECT '?''?', ? AS \"a?\" /* ? */, record_id FROM records -- ?\n"
                           "WHERE record_id = ?",
                           {5, "q1"}, &error),
             (QList<QVariantList>{{"?'?", 5LL, "q1"}}));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(store->select("DELETE FROM records", {}, &error).isEmpty());
    QCOMPARE(error, "not a read-only query");
    QVERIFY(store->select("SELECT nextval(pg_get_serial_sequence('records', 'id'))", {}, &error)
                .isEmpty());
    QCOMPARE(error, "not a read-only query");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a query failed"));
    QVERIFY(store->select("SELECT ?", {}, &error).isEmpty());
    QCOMPARE(error, "the query has 1 parameters, 0 given");
    QCOMPARE(StoredReports(*store).recordIds(), QStringList{"q1"});
    // Every connection is held to the statement limit, so a database that
    // hangs cannot hold a request forever.
    QCOMPARE(store->select("SELECT current_setting('statement_timeout')", {}, &error),
             (QList<QVariantList>{{"30s"}}));
}

// Two stores are two processes: a session begun through one is known to
// the other until its time is over or either ends it.
void TestPostgresReportStore::sessionsAreSharedExpireAndEndForEveryStore() {
    using State = ReportStore::SessionState;
    const auto a = openStore();
    const auto b = openStore();
    QVERIFY(a->beginSession("d1", 1000, 500));
    QVERIFY(a->beginSession("d2", 2000, 500));
    QCOMPARE(b->sessionState("d1", 999), State::Valid);
    QCOMPARE(b->sessionState("d1", 1000), State::Invalid);
    QCOMPARE(b->sessionState("unknown", 500), State::Invalid);
    // A new session drops the rows of those that are over.
    QVERIFY(b->beginSession("d3", 3000, 1000));
    QString error;
    QCOMPARE(a->select("SELECT digest FROM admin_sessions ORDER BY digest", {}, &error),
             (QList<QVariantList>{{"d2"}, {"d3"}}));
    QVERIFY(b->endSession("d2"));
    QCOMPARE(a->sessionState("d2", 1001), State::Invalid);
    QCOMPARE(a->sessionState("d3", 1001), State::Valid);
    QVERIFY(a->probeWrite());

    // A database that cannot be reached keeps and answers nothing.
    m_postgres->stop();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report database cannot be reached"));
    QCOMPARE(a->sessionState("d3", 1001), State::Unreachable);
    QVERIFY(!a->beginSession("d4", 3000, 1001));
    QVERIFY(!a->endSession("d3"));
    QVERIFY(!a->probeWrite());
    QString why;
    QVERIFY2(m_postgres->start(&why), qPrintable(why));
    // The connections the restart closed are replaced without a failure.
    QTRY_COMPARE_WITH_TIMEOUT(b->sessionState("d3", 1001), State::Valid, 5000);
    QVERIFY(b->probeWrite());
}

QTEST_GUILESS_MAIN(TestPostgresReportStore)
#include "tst_postgresreportstore.moc"
