#include "server/store/retention.h"
#include "server/store/sqlitereportstore.h"
#include "support/server/postgresdatabases.h"
#include "support/server/storedreports.h"
#ifdef VANTORO_POSTGRES
#include "server/store/postgresreportstore.h"
#endif

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

namespace {

// The moment the runs are made as of: far enough ahead of the real clock
// that reports stored now (whose arrival is the real time) count as old.
constexpr int kAheadDays = 100;
constexpr int kDays = 60;

// Texts of records that live as long as the report that views them.
struct TestReport {
    QList<QByteArray> texts;
    ReportStore::Report report;
};

// Seconds since 1970 of a time of day `daysBack` UTC days before `now`.
double tsOf(const QDateTime& now, int daysBack, int secondOfDay) {
    const QDate day = now.toUTC().date().addDays(-daysBack);
    return double(QDateTime(day, QTime(0, 0), Qt::UTC).toSecsSinceEpoch()) + secondOfDay;
}

// `count` records spread over one day, the first at its first second and
// the last in its last half-second: a day is removed whole or not at all.
TestReport dayReport(const QDateTime& now, int daysBack, int count, const QString& prefix) {
    TestReport r;
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        const double second = count == 1 ? 43200 : 86399.5 * i / (count - 1);
        ids << QStringLiteral("%1%2-%3").arg(prefix).arg(daysBack).arg(i);
        r.texts << QStringLiteral(R"({"id":"%1","type":"launch","ts":%2,"session_id":"s"})")
                       .arg(ids[i])
                       .arg(tsOf(now, daysBack, 0) + second, 0, 'f', 1)
                       .toUtf8();
    }
    for (int i = 0; i < count; ++i)
        r.report.records.append({ids[i], r.texts[i]});
    return r;
}

// Records without a ts: they go by their report's arrival.
TestReport untimedReport(int count) {
    TestReport r;
    for (int i = 0; i < count; ++i)
        r.texts << QStringLiteral(R"({"id":"untimed-%1","type":"launch"})").arg(i).toUtf8();
    for (int i = 0; i < count; ++i)
        r.report.records.append({QStringLiteral("untimed-%1").arg(i), r.texts[i]});
    return r;
}

} // namespace

class TestRetention : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void aRunKeepsTheNewestDaysWhole_data();
    void aRunKeepsTheNewestDaysWhole();
    void aRecentReportOutlivesItsOldRecords();
    void reportsStoredDuringARunAreAllKept();
    void startRunsAtOnceAndStopEndsTheWait();
    void removingThirtyDaysOfTwoThousandRecords();

private:
    // One report per day, `perDay` records each, 1 to kDays days before
    // `now`; false when the store refused one.
    bool fillDays(const QDateTime& now, int perDay, int days = kDays);
    // "yyyy-MM-dd=N" for each day that has records, oldest first.
    QStringList countsPerDay() const;
    // What each day of `fillDays` holds once the days before the newest
    // `kept` are gone.
    static QStringList expectedDays(const QDateTime& now, int perDay, int kept);
    qint64 scalar(const char* sql) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ReportStore> m_store;
    PostgresDatabases m_postgres;
    QDateTime m_ahead;
};

// Each check runs on both stores: the same rule must remove the same rows.
void TestRetention::initTestCase_data() {
    PostgresDatabases::addStoreRows();
}

void TestRetention::init() {
    QFETCH_GLOBAL(QString, store);
    m_ahead = QDateTime::currentDateTimeUtc().addDays(kAheadDays);
    QString error;
    if (store == "sqlite") {
        m_dir = std::make_unique<QTemporaryDir>();
        auto sqlite = std::make_unique<SqliteReportStore>();
        QVERIFY2(sqlite->open(m_dir->filePath("reports.sqlite"), &error), qPrintable(error));
        m_store = std::move(sqlite);
        return;
    }
#ifdef VANTORO_POSTGRES
    QString skip;
    const QString url = m_postgres.next(QStringLiteral("r"), &skip, &error);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    QVERIFY2(!url.isEmpty(), qPrintable(error));
    auto postgres = std::make_unique<PostgresReportStore>(url);
    QVERIFY2(postgres->open(&error), qPrintable(error));
    m_store = std::move(postgres);
#else
    QSKIP("a build without the PostgreSQL store");
#endif
}

void TestRetention::cleanup() {
    m_store.reset();
    m_dir.reset();
}

bool TestRetention::fillDays(const QDateTime& now, int perDay, int days) {
    for (int back = 1; back <= days; ++back)
        if (!m_store->store(dayReport(now, back, perDay, QStringLiteral("d")).report).ok)
            return false;
    return true;
}

QStringList TestRetention::countsPerDay() const {
    QString error;
    QStringList days;
    for (const QVariantList& row :
         m_store->select("SELECT day, COUNT(*) FROM records WHERE day IS NOT NULL "
                         "GROUP BY day ORDER BY day",
                         {}, &error))
        days << row[0].toString() + u'=' + row[1].toString();
    if (!error.isEmpty())
        qWarning() << error;
    return days;
}

QStringList TestRetention::expectedDays(const QDateTime& now, int perDay, int kept) {
    QStringList days;
    for (int back = std::min(kept, kDays); back >= 1; --back)
        days << now.toUTC().date().addDays(-back).toString(Qt::ISODate) + u'=' +
                    QString::number(perDay);
    return days;
}

qint64 TestRetention::scalar(const char* sql) const {
    const QList<QVariantList> rows = m_store->select(sql, {}, nullptr);
    return rows.isEmpty() ? -1 : rows[0][0].toLongLong();
}

// A day is removed once all of it is the given days old: the day before
// "now" stays with one day kept. Reports received before the cutoff go
// with their last record; the untimed records go by their report, which
// arrived about kAheadDays before the run.
void TestRetention::aRunKeepsTheNewestDaysWhole_data() {
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<bool>("untimedKept");
    QTest::newRow("one day") << 1 << false;
    QTest::newRow("thirty days") << 30 << false;
    QTest::newRow("all sixty") << kDays << false;
    QTest::newRow("more than were sent") << 90 << false;
    QTest::newRow("back to the untimed ones") << kAheadDays + 20 << true;
}

void TestRetention::aRunKeepsTheNewestDaysWhole() {
    QFETCH(int, keepDays);
    QFETCH(bool, untimedKept);
    constexpr int perDay = 3;
    QVERIFY(fillDays(m_ahead, perDay));
    QVERIFY(m_store->store(untimedReport(2).report).ok);
    QCOMPARE(countsPerDay(), expectedDays(m_ahead, perDay, kDays));

    const Retention::Run run = Retention(*m_store, keepDays, 4).run(m_ahead);
    QVERIFY(run.ok);
    const int goneDays = kDays - std::min(keepDays, kDays);
    QCOMPARE(countsPerDay(), expectedDays(m_ahead, perDay, keepDays));
    QCOMPARE(scalar("SELECT COUNT(*) FROM records WHERE ts IS NULL"), untimedKept ? 2 : 0);
    QCOMPARE(run.records, qint64(goneDays * perDay + (untimedKept ? 0 : 2)));
    QCOMPARE(run.reports, qint64(goneDays + (untimedKept ? 0 : 1)));
    QCOMPARE(StoredReports(*m_store).reportCount(), kDays - goneDays + (untimedKept ? 1 : 0));
    // Every report row left still has its records.
    QCOMPARE(scalar("SELECT COUNT(*) FROM reports r WHERE NOT EXISTS "
                    "(SELECT 1 FROM records c WHERE c.report = r.id)"),
             0);

    // A second run finds nothing more.
    const Retention::Run again = Retention(*m_store, keepDays, 4).run(m_ahead);
    QVERIFY(again.ok);
    QCOMPARE(again.records + again.reports, qint64(0));
}

// A report's row is the count of what arrived: it stays while it is newer
// than the cutoff, even with its records gone, and goes after.
void TestRetention::aRecentReportOutlivesItsOldRecords() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(m_store->store(dayReport(now, 40, 5, QStringLiteral("late")).report).ok);
    const Retention::Run today = Retention(*m_store, 30).run(now);
    QVERIFY(today.ok);
    QCOMPARE(today.records, qint64(5));
    QCOMPARE(today.reports, qint64(0));
    QCOMPARE(StoredReports(*m_store).reportCount(), 1);

    const Retention::Run later = Retention(*m_store, 30).run(now.addDays(31));
    QVERIFY(later.ok);
    QCOMPARE(later.reports, qint64(1));
    QCOMPARE(StoredReports(*m_store).reportCount(), 0);
}

// Small batches let a report in between them: one stored while the run
// goes on is kept whole, and the run still removes every old day.
void TestRetention::reportsStoredDuringARunAreAllKept() {
    constexpr int perDay = 100;
    constexpr int perReport = 5;
    QVERIFY(fillDays(m_ahead, perDay));
    std::atomic<bool> running{true};
    std::atomic<int> stored{0};
    std::atomic<int> storedDuringRun{0};
    std::atomic<bool> failed{false};
    std::thread sender([&] {
        for (int n = 0; running || n < 20; ++n) {
            const bool during = running;
            TestReport r = dayReport(m_ahead, 0, perReport, QStringLiteral("new%1-").arg(n));
            if (!m_store->store(r.report).ok)
                failed = true;
            ++stored;
            if (during && running)
                ++storedDuringRun;
        }
    });
    const Retention::Run run = Retention(*m_store, 30, 50).run(m_ahead);
    running = false;
    sender.join();

    QVERIFY(run.ok);
    QVERIFY(!failed);
    QVERIFY2(storedDuringRun > 0, "no report was stored while the run went on");
    QCOMPARE(run.records, qint64(30 * perDay));
    QCOMPARE(scalar("SELECT COUNT(*) FROM records WHERE record_id LIKE 'new%'"),
             qint64(stored * perReport));
    QStringList expected = expectedDays(m_ahead, perDay, 30);
    expected << m_ahead.toUTC().date().toString(Qt::ISODate) + u'=' +
                    QString::number(stored * perReport);
    QCOMPARE(countsPerDay(), expected);
    qInfo("%d reports stored during a run of %lld ms in batches of 50", int(storedDuringRun),
          run.ms);
}

// The server's own schedule: a run at start, then a wait of a day that
// stop() cuts short.
void TestRetention::startRunsAtOnceAndStopEndsTheWait() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(fillDays(now, 2, 40));
    Retention retention(*m_store, 30);
    retention.start();
    QTRY_COMPARE_WITH_TIMEOUT(countsPerDay().size(), 30, 10000);
    QElapsedTimer clock;
    clock.start();
    retention.stop();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(countsPerDay(), expectedDays(now, 2, 30));
}

// How long the default batches take over a busy month, for the log.
void TestRetention::removingThirtyDaysOfTwoThousandRecords() {
    QFETCH_GLOBAL(QString, store);
    constexpr int perDay = 2000;
    QVERIFY(fillDays(m_ahead, perDay));
    QCOMPARE(scalar("SELECT COUNT(*) FROM records"), qint64(kDays * perDay));
    const Retention::Run run = Retention(*m_store, 30).run(m_ahead);
    QVERIFY(run.ok);
    QCOMPARE(run.records, qint64(30 * perDay));
    QCOMPARE(countsPerDay(), expectedDays(m_ahead, perDay, 30));
    qInfo("%s: %d records before, %lld after, %lld removed in %lld ms", qPrintable(store),
          kDays * perDay, scalar("SELECT COUNT(*) FROM records"), run.records, run.ms);
}

QTEST_GUILESS_MAIN(TestRetention)
#include "tst_retention.moc"
