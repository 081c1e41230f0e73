#include "server/admin/dashboardqueries.h"
#include "server/reportintake.h"
#include "server/reports/recordcolumns.h"
#include "server/reports/reportparser.h"
#include "server/store/postgresreportstore.h"
#include "server/store/sqlitereportstore.h"
#include "support/server/postgresdatabases.h"
#include "support/server/storedreports.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sqlite3.h>

namespace {

using Q = DashboardQueries;

// Seconds since 1970 of a UTC moment.
double at(const char* day, const char* time = "12:00:00") {
    return double(QDateTime(QDate::fromString(day, Qt::ISODate),
                            QTime::fromString(time, Qt::ISODate), Qt::UTC)
                      .toSecsSinceEpoch());
}

int g_next = 0;

// A record with the fields every record has, as the application writes it.
QJsonObject record(const char* type, double ts) {
    return {{"id", QStringLiteral("r%1").arg(++g_next)},
            {"type", type},
            {"date", "2026-12-01"},
            {"time", "08:00:00"},
            {"ts", ts},
            {"session_id", "s1"},
            {"sendingFlag", true}};
}

QJsonObject launch(double ts) {
    return record("launch", ts);
}

QJsonObject terminate(double ts, QJsonValue duration) {
    QJsonObject o = record("terminate", ts);
    if (!duration.isUndefined())
        o.insert("duration", duration);
    return o;
}

QJsonObject eventRecord(double ts, QJsonValue eventId, const QString& label = {}) {
    QJsonObject o = record("event", ts);
    if (!eventId.isUndefined())
        o.insert("event_id", eventId);
    if (!label.isNull())
        o.insert("label", label);
    o.insert("acc", 1);
    o.insert("du", 0);
    return o;
}

QString crashText(const QString& reason, const QString& dir, const QString& base,
                  const QString& build) {
    return reason + "\n(null)\n(\n    " + dir + "/vantoro(+0xbd1f)[0x" + base + "d1f],\n    " +
           dir + "/vantoro(+0xbddd)[0x" + base +
           "ddd],\n    /lib/libc.so.6(+0x3c050)[0x7f7050],\n" + "    " + dir +
           "/vantoro(+0x5abd)[0x" + base + "abd]\n)\n\ndSYM UUID: " + build +
           "\nCPU Type: x86_64\nSlide Address: 0x5000\nBinary Image: vantoro\nBase Address: 0x" +
           base + "000\n";
}

QJsonObject errorRecord(double ts, const QString& context) {
    QJsonObject o = record("error", ts);
    o.insert("context", context);
    return o;
}

const DashboardPeriod kWeek{QDate(2026, 12, 1), QDate(2026, 12, 7)};

QStringList dayCounts(const QList<Q::DayCount>& days) {
    QStringList list;
    for (const Q::DayCount& d : days)
        list << QStringLiteral("%1=%2").arg(d.day).arg(d.count);
    return list;
}

} // namespace

class TestDashboardQueries : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void sessionsPerDayListEveryDayWithinTheBoundaries();
    void medianOfEndsOfUse_data();
    void medianOfEndsOfUse();
    void eventsPerIdentifierListTheKnownOnesAndAnyOther();
    void sharesAreCountedByLabelAndWithoutOne();
    void crashesGroupAcrossAddressesAndSplitByBuild();
    void floodsLeaveTheTablesTheirTopRowsAndASum();
    void figuresPerDayAddUpToTheTables();
    void aReportSentTwiceCountsOnce();
    void anOldDatabaseGainsItsFactsOnce();
    void factsFromAnyText_data();
    void factsFromAnyText();
    void noPrefixOfARecordGivesFacts();
    void oddRecordsAreKeptWithoutFacts();
    void everyColumnIsKeptAsTheTableSays();
    void selectRunsOnlyReadingStatements();

private:
    void send(const QMap<QString, QJsonArray>& lists);
    static QString none() { return QStringLiteral("-|-|-|-|-|-"); }
    void openPostgres();
    SqliteReportStore& sqlite() { return static_cast<SqliteReportStore&>(*m_store); }

    QTemporaryDir* m_dir = nullptr;
    std::unique_ptr<ReportStore> m_store;
    QString m_path;
    PostgresDatabases m_postgres;
};

// Every figure is checked on each store: the same SQL must give the same
// figures on both.
void TestDashboardQueries::initTestCase_data() {
    PostgresDatabases::addStoreRows();
}

void TestDashboardQueries::init() {
    QFETCH_GLOBAL(QString, store);
    m_dir = new QTemporaryDir;
    m_path = m_dir->filePath("reports.sqlite");
    if (store == "sqlite") {
        auto sqlite = std::make_unique<SqliteReportStore>();
        QString error;
        QVERIFY2(sqlite->open(m_path, &error), qPrintable(error));
        m_store = std::move(sqlite);
        return;
    }
    const QByteArray function = QTest::currentTestFunction();
    if (function == "anOldDatabaseGainsItsFactsOnce" || function == "factsFromAnyText" ||
        function == "noPrefixOfARecordGivesFacts")
        QSKIP("not a store's test: checked once, with the SQLite rows");
    openPostgres();
}

// A new database for each test on one server.
void TestDashboardQueries::openPostgres() {
    QString skip;
    QString error;
    const QString url = m_postgres.next(QStringLiteral("d"), &skip, &error);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    QVERIFY2(!url.isEmpty(), qPrintable(error));
    auto postgres = std::make_unique<PostgresReportStore>(url);
    QVERIFY2(postgres->open(&error), qPrintable(error));
    m_store = std::move(postgres);
}

void TestDashboardQueries::cleanup() {
    m_store.reset();
    delete m_dir;
    m_dir = nullptr;
}

// Through the collector's intake, as an upload arrives.
void TestDashboardQueries::send(const QMap<QString, QJsonArray>& lists) {
    QJsonObject report{{"header", QJsonObject{{"appkey", "k"}}}};
    for (auto it = lists.begin(); it != lists.end(); ++it)
        report.insert(it.key(), it.value());
    const ReportIntake::Answer answer =
        ReportIntake(*m_store).take(QJsonDocument(report).toJson(QJsonDocument::Indented));
    QCOMPARE(answer.status, 200);
}

void TestDashboardQueries::sessionsPerDayListEveryDayWithinTheBoundaries() {
    send({{"launch",
           QJsonArray{launch(at("2026-11-30", "23:59:59")), launch(at("2026-12-01", "00:00:00")),
                      launch(at("2026-12-01", "18:30:00")), launch(at("2026-12-04")),
                      launch(at("2026-12-07", "23:59:59") + 0.9),
                      launch(at("2026-12-08", "00:00:00"))}},
          // Not sessions.
          {"event", QJsonArray{eventRecord(at("2026-12-02"), "blow")}}});
    Q queries(*m_store);
    QCOMPARE(dayCounts(queries.sessionsPerDay(kWeek)),
             (QStringList{"2026-12-01=2", "2026-12-02=0", "2026-12-03=0", "2026-12-04=1",
                          "2026-12-05=0", "2026-12-06=0", "2026-12-07=1"}));
    QCOMPARE(dayCounts(queries.sessionsPerDay({QDate(2026, 12, 8), QDate(2026, 12, 8)})),
             QStringList{"2026-12-08=1"});
    QCOMPARE(dayCounts(queries.sessionsPerDay({QDate(2026, 11, 30), QDate(2026, 11, 30)})),
             QStringList{"2026-11-30=1"});
    QVERIFY(queries.error().isEmpty());
}

void TestDashboardQueries::medianOfEndsOfUse_data() {
    QTest::addColumn<QList<double>>("durations");
    QTest::addColumn<double>("median"); // -1: none
    QTest::addColumn<int>("ends");
    QTest::newRow("odd") << QList<double>{30, 10, 20} << 20.0 << 3;
    QTest::newRow("even") << QList<double>{10, 40, 20, 30} << 25.0 << 4;
    QTest::newRow("one") << QList<double>{7.5} << 7.5 << 1;
    QTest::newRow("even, equal middles") << QList<double>{5, 9, 9, 100} << 9.0 << 4;
    // -2 stands for an end of use that does not say how long it lasted.
    QTest::newRow("one without duration") << QList<double>{-2, 40, 10} << 25.0 << 3;
    QTest::newRow("none") << QList<double>{} << -1.0 << 0;
}

void TestDashboardQueries::medianOfEndsOfUse() {
    QFETCH(QList<double>, durations);
    QFETCH(double, median);
    QFETCH(int, ends);
    QJsonArray terminates;
    for (double d : durations)
        terminates << terminate(at("2026-12-03"), d == -2 ? QJsonValue() : QJsonValue(d));
    // Outside the period: would move the median.
    terminates << terminate(at("2026-12-09"), 1.0) << terminate(at("2026-12-09"), 1.0);
    send({{"terminate", terminates}});
    const Q::EndsOfUse result = Q(*m_store).endsOfUse(kWeek);
    QCOMPARE(result.count, ends);
    QCOMPARE(result.medianSeconds.has_value(), median >= 0);
    if (median >= 0)
        QCOMPARE(*result.medianSeconds, median);
}

void TestDashboardQueries::eventsPerIdentifierListTheKnownOnesAndAnyOther() {
    const double t = at("2026-12-05");
    send({{"event", QJsonArray{eventRecord(t, "blow"), eventRecord(t, "blow"),
                               eventRecord(t, "rank_share"), eventRecord(t, "mystery"),
                               eventRecord(t, "mystery"), eventRecord(t, "mystery"),
                               eventRecord(t, "zz_new"), eventRecord(t, QJsonValue()),
                               eventRecord(t, 42), eventRecord(at("2026-12-08"), "haze")}}});
    const QList<Q::EventCount> events = Q(*m_store).eventsPerIdentifier(kWeek);
    QStringList seen;
    for (const Q::EventCount& e : events)
        seen << QStringLiteral("%1=%2").arg(e.eventId.isNull() ? "null" : e.eventId).arg(e.count);
    // An id that is not text is no id; "haze" lies after the period.
    QCOMPARE(seen, (QStringList{"blow=2", "blow_amount=0", "blow_share=0", "haze=0",
                                "haze_amount=0", "haze_share=0", "hots=0", "rank=0", "rank_share=1",
                                "mystery=3", "null=2", "zz_new=1"}));
}

void TestDashboardQueries::sharesAreCountedByLabelAndWithoutOne() {
    Q queries(*m_store);
    const QList<Q::ShareCount> none = queries.sharesPerNetwork(kWeek);
    QCOMPARE(none.size(), 1);
    QVERIFY(none[0].network.isNull());
    QCOMPARE(none[0].count, 0);

    const double t = at("2026-12-02");
    send({{"event",
           QJsonArray{eventRecord(t, "blow_share", "weibo"), eventRecord(t, "haze_share", "weibo"),
                      eventRecord(t, "rank_share", "wechat"), eventRecord(t, "blow_share"),
                      eventRecord(t, "haze_share"), eventRecord(t, "rank_share", ""),
                      // Not share events, or outside the period.
                      eventRecord(t, "blow", "weibo"), eventRecord(t, "hots"),
                      eventRecord(at("2026-12-10"), "blow_share", "weibo")}}});
    QStringList seen;
    for (const Q::ShareCount& s : queries.sharesPerNetwork(kWeek))
        seen << QStringLiteral("%1=%2").arg(s.network.isNull() ? "none" : s.network).arg(s.count);
    QCOMPARE(seen, (QStringList{"weibo=2", "wechat=1", "none=3"}));
}

void TestDashboardQueries::crashesGroupAcrossAddressesAndSplitByBuild() {
    const QString segv = "Application received signal SIGSEGV";
    const QString buildA = "AAAAEE43-A926-31D3-37D4-845A5551D774";
    const QString buildB = "BBBBEE43-A926-31D3-37D4-845A5551D774";
    send({{"error",
           QJsonArray{
               errorRecord(at("2026-12-02"), crashText(segv, "/opt/a", "560c855d2", buildA)),
               errorRecord(at("2026-12-05"), crashText(segv, "/home/u", "55f68da1d", buildA)),
               errorRecord(at("2026-12-03"), crashText(segv, "/opt/a", "560c855d2", buildB)),
               errorRecord(at("2026-12-09"), crashText(segv, "/opt/a", "5600000aa", buildA))}}});
    Q queries(*m_store);
    const QList<Q::CrashGroup> groups = queries.crashGroups(kWeek);
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups[0].buildId, buildA); // seen last
    QCOMPARE(groups[0].count, 2);
    QCOMPARE(groups[0].kind, segv);
    QCOMPARE(groups[0].frame, "vantoro(+0x5abd)");
    QCOMPARE(groups[0].firstSeen, at("2026-12-02"));
    QCOMPARE(groups[0].lastSeen, at("2026-12-05"));
    QCOMPARE(groups[1].buildId, buildB);
    QCOMPARE(groups[1].count, 1);

    // The texts of a group, at any time, newest first.
    const QList<Q::CrashText> texts = queries.crashTexts(groups[0].key);
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0].ts, at("2026-12-09"));
    QVERIFY(texts[0].text.contains("[0x5600000aaabd]"));
    QVERIFY(texts[1].text.startsWith(segv + "\n(null)\n(\n    /home/u/vantoro"));
    QCOMPARE(queries.crashTexts(groups[0].key, 1).size(), 1);
    QVERIFY(queries.crashTexts("0000000000000000").isEmpty());
    QVERIFY(queries.error().isEmpty());
}

// One upload of identifiers, labels and crash groups of its own making, and
// crash texts dated years ahead: each table keeps its top rows and sums the
// rest, the texts are shown cut, and the real crash stays the newest.
void TestDashboardQueries::floodsLeaveTheTablesTheirTopRowsAndASum() {
    const double day = at("2026-12-03");
    QJsonArray events{eventRecord(day, "blow"), eventRecord(day, "blow")};
    for (int i = 0; i < 50; ++i) {
        events.append(eventRecord(day, QStringLiteral("flood%1").arg(i)));
        events.append(eventRecord(day, "blow_share", QStringLiteral("net%1").arg(i)));
    }
    QJsonArray errors;
    for (int i = 0; i < 25; ++i)
        errors.append(errorRecord(
            day, crashText(QStringLiteral("reason %1").arg(i), "/opt/v", "5600", "B1")));
    const QString real = crashText("SIGSEGV", "/opt/v", "5600", "B2");
    const QString longText = real + QString(20000, u'x');
    errors.append(errorRecord(day + 60, longText));
    for (int i = 0; i < 3; ++i)
        errors.append(errorRecord(at("2031-01-01"), longText));
    send({{"events", events}, {"error", errors}});

    Q queries(*m_store);
    const Q::Figures f = queries.figures(kWeek);
    QVERIFY2(f.error.isEmpty(), qPrintable(f.error));
    QCOMPARE(f.events.size(), Q::knownEvents().size() + Q::kTopRows);
    QCOMPARE(f.events[0].count, 2);
    QCOMPARE(f.otherEvents, 102 - 2 - 50 - 20);
    QCOMPARE(f.shares.size(), Q::kTopRows + 1);
    QCOMPARE(f.otherShares, 50 - Q::kTopRows);
    QCOMPARE(f.crashes.size(), Q::kTopRows);
    // Dated at their arrival, the future copies fall out of the week.
    QCOMPARE(f.otherCrashes, 26 - Q::kTopRows);
    QCOMPARE(f.crashes[0].kind, "SIGSEGV");

    const QList<Q::CrashText> texts = queries.crashTexts(f.crashes[0].key);
    QCOMPARE(texts.size(), 4);
    QCOMPARE(texts.last().ts, day + 60);
    for (const Q::CrashText& text : texts) {
        QVERIFY(text.cut);
        QCOMPARE(text.text, longText.first(Q::kShownCrashText));
        QVERIFY(text.recordLength > longText.size());
    }
}

// The export's days count what the dashboard's tables count, day by day.
void TestDashboardQueries::figuresPerDayAddUpToTheTables() {
    const double d2 = at("2026-12-02"), d5 = at("2026-12-05");
    send({{"launch", QJsonArray{launch(d2), launch(d2), launch(d5)}},
          {"terminate", QJsonArray{terminate(d5, 30)}},
          {"events", QJsonArray{eventRecord(d2, "blow"), eventRecord(d5, "rank_share", "weibo"),
                                eventRecord(d5, "haze_share")}},
          {"error", QJsonArray{errorRecord(d5, crashText("SIGSEGV", "/o", "56", "B"))}},
          {"outside", QJsonArray{launch(at("2026-12-08"))}}});
    Q queries(*m_store);
    const QList<Q::DayFigures> days = queries.figuresPerDay(kWeek);
    QVERIFY2(queries.error().isEmpty(), qPrintable(queries.error()));
    QStringList shown;
    for (const Q::DayFigures& d : days)
        shown << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(d.day)
                     .arg(d.sessions)
                     .arg(d.ends)
                     .arg(d.events)
                     .arg(d.shares)
                     .arg(d.crashes);
    QCOMPARE(shown,
             (QStringList{"2026-12-01 0 0 0 0 0", "2026-12-02 2 0 1 0 0", "2026-12-03 0 0 0 0 0",
                          "2026-12-04 0 0 0 0 0", "2026-12-05 1 1 2 2 1", "2026-12-06 0 0 0 0 0",
                          "2026-12-07 0 0 0 0 0"}));
}

void TestDashboardQueries::aReportSentTwiceCountsOnce() {
    const QMap<QString, QJsonArray> report = {
        {"launch", QJsonArray{launch(at("2026-12-03"))}},
        {"event", QJsonArray{eventRecord(at("2026-12-03"), "hots")}},
        {"terminate", QJsonArray{terminate(at("2026-12-03"), 60)}}};
    send(report);
    send(report);
    const Q::Figures figures = Q(*m_store).figures(kWeek);
    QCOMPARE(figures.sessions[2].count, 1);
    QCOMPARE(figures.ends.count, 1);
    QCOMPARE(figures.events[DashboardQueries::knownEvents().indexOf("hots")].count, 1);
    QVERIFY(figures.error.isEmpty());
}

// A file written before the facts were kept: its records gain them at open,
// once, and new records are kept with them.
void TestDashboardQueries::anOldDatabaseGainsItsFactsOnce() {
    sqlite().close();
    QFile::remove(m_path);
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(m_path.toUtf8().constData(), &db), SQLITE_OK);
    auto body = [](const QJsonObject& o) {
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))
            .replace("'", "''")
            .toUtf8();
    };
    const QByteArray script =
        "CREATE TABLE reports(id INTEGER PRIMARY KEY, received TEXT NOT NULL, client TEXT, "
        "stored INTEGER NOT NULL, duplicates INTEGER, dropped INTEGER NOT NULL);"
        "CREATE TABLE records(id INTEGER PRIMARY KEY, report INTEGER NOT NULL REFERENCES "
        "reports(id), record_id TEXT UNIQUE, body TEXT NOT NULL);"
        "INSERT INTO reports VALUES(1, 't', NULL, 5, 0, 0);"
        "INSERT INTO records(report, record_id, body) VALUES"
        "(1, 'o1', '" +
        body(launch(at("2026-12-01"))) +
        "'),"
        "(1, 'o2', '" +
        body(launch(at("2026-12-07", "23:59:59"))) +
        "'),"
        "(1, 'o3', '" +
        body(terminate(at("2026-12-02"), 90)) +
        "'),"
        "(1, 'o4', '" +
        body(eventRecord(at("2026-12-02"), "blow_share", "weibo")) +
        "'),"
        "(1, 'o5', 'not json at all');";
    QCOMPARE(sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    QString error;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("read the facts of 5 kept records"));
    QVERIFY2(sqlite().open(m_path, &error), qPrintable(error));
    auto check = [this](qint64 sessions) {
        const Q::Figures figures = Q(*m_store).figures(kWeek);
        QCOMPARE(figures.sessions.first().count, 1);
        QCOMPARE(figures.sessions.last().count, sessions);
        QCOMPARE(figures.ends.count, 1);
        QCOMPARE(*figures.ends.medianSeconds, 90.0);
        QCOMPARE(figures.shares.first().network, "weibo");
        QVERIFY(figures.error.isEmpty());
    };
    check(1);
    QCOMPARE(StoredReports(*m_store).recordIds().size(), 5);

    // Upgraded once: opened again, nothing is read again; new records come
    // with their facts.
    sqlite().close();
    QVERIFY(sqlite().open(m_path, &error));
    send({{"launch", QJsonArray{launch(at("2026-12-07", "08:00:00"))}}});
    check(2);
    QCOMPARE(m_store->select("PRAGMA user_version", {}, &error).value(0).value(0).toInt(),
             RecordColumns::version());
}

void TestDashboardQueries::factsFromAnyText_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("facts"); // kind|event|label|ts|day|duration, "-" for none
    QTest::newRow("event, nested members ignored")
        << QByteArray(R"({"values":{"type":"launch","ts":5,"x":[1,"}",{"a":null}]},"id":"e1",)"
                      R"("type":"event","ts":1796299200.5,"event_id":"rank_share",)"
                      R"("label":"we\u0069bo \"\ud83d\ude00\"","acc":1,"ok":true})")
        << QString::fromUtf8(
               "event|rank_share|weibo \"\xF0\x9F\x98\x80\"|1796299200.5|2026-12-03|-");
    QTest::newRow("spaced") << QByteArray(" {\n \"type\" : \"terminate\" ,\t\"duration\": 12.5 , "
                                          "\"ts\": -5 }\n")
                            << "terminate|-|-|-5|1969-12-31|12.5";
    QTest::newRow("empty label") << QByteArray(R"({"type":"event","event_id":"blow","label":""})")
                                 << "event|blow|-|-|-|-";
    QTest::newRow("long label clipped")
        << QByteArray(R"({"type":"event","label":")" + QByteArray(500, 'w') + "\"}")
        << "event|-|" + QString(RecordFacts::kMaxText, u'w') + "|-|-|-";
    QTest::newRow("escaped name is not the name")
        << QByteArray(R"({"\u0074ype":"launch","ts":1})") << "-|-|-|1|1970-01-01|-";
    QTest::newRow("last member wins")
        << QByteArray(R"({"type":"launch","type":"event"})") << "event|-|-|-|-|-";
    QTest::newRow("blanks inside the quotes are text")
        << QByteArray(R"({"type":" event"," ts":1,"label":"x"})") << " event|-|-|-|-|-";
    const QString none = TestDashboardQueries::none();
    QTest::newRow("truncated") << QByteArray(R"({"type":"event","event_id":"blow")") << none;
    QTest::newRow("bad escape") << QByteArray(R"({"type":"ev\xent"})") << none;
    QTest::newRow("lone surrogate") << QByteArray(R"({"type":"\ud800"})") << none;
    QTest::newRow("surrogate then letter") << QByteArray(R"({"type":"\ud800\u0041"})") << none;
    QTest::newRow("short escape at the end") << QByteArray(R"({"type":"\u00)") << none;
    QTest::newRow("text after") << QByteArray(R"({"type":"launch"} x)") << none;
    QTest::newRow("deep") << QByteArray(R"({"type":"launch","a":)" + QByteArray(200, '[') +
                                        QByteArray(200, ']') + "}")
                          << none;
    QTest::newRow("array") << QByteArray("[]") << none;
    QTest::newRow("string") << QByteArray(R"("type")") << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("control character") << QByteArray("{\"type\":\"a\nb\"}") << none;
}

void TestDashboardQueries::factsFromAnyText() {
    QFETCH(QByteArray, json);
    QFETCH(QString, facts);
    const RecordFacts f = RecordFacts::fromJson(json);
    auto shown = [](const QString& s) { return s.isNull() ? QStringLiteral("-") : s; };
    auto shownNumber = [](std::optional<double> v) {
        return v ? QString::number(*v, 'g', 15) : QStringLiteral("-");
    };
    auto summary = [&](const RecordFacts& f) {
        return QStringList({shown(f.kind), shown(f.eventId), shown(f.label), shownNumber(f.ts),
                            shown(f.day), shownNumber(f.duration)})
            .join('|');
    };
    QCOMPARE(summary(f), facts);
    // The collector reads the same facts in its one pass over a report.
    const QByteArray report = "{\"l\":[" + json + "]}";
    const auto parsed = ReportParser(report, 10).parse();
    if (parsed && !parsed->records.isEmpty() && parsed->records[0].facts)
        QCOMPARE(summary(*parsed->records[0].facts), facts);
    else
        QCOMPARE(facts, none());
}

void TestDashboardQueries::noPrefixOfARecordGivesFacts() {
    const QByteArray json = QJsonDocument(errorRecord(at("2026-12-03"), "x\n(null)\n(\n)"))
                                .toJson(QJsonDocument::Compact);
    QVERIFY(RecordFacts::fromJson(json).crash.has_value());
    for (qsizetype n = 0; n < json.size(); ++n) {
        const RecordFacts f = RecordFacts::fromJson(json.first(n));
        QVERIFY2(f.kind.isNull() && !f.ts && !f.crash, json.first(n).constData());
    }
}

void TestDashboardQueries::oddRecordsAreKeptWithoutFacts() {
    ReportStore::Report report;
    const QByteArray odd[] = {
        R"({"id":"a","type":7,"ts":"yesterday"})",
        R"({"id":"b","type":"launch","ts":1e300})",
        R"({"id":"c","type":"terminate","ts":1796780258,"duration":"long"})",
        R"({"id":"d","type":"error","ts":1796780258,"context":{"not":"text"}})",
        R"([1,2,3])",
        "{\"id\":\"e\",\"type\":\"event\",\"ts\":1796780258,\"event_id\":\"" +
            QByteArray(100000, 'e') + "\"}",
    };
    for (const QByteArray& json : odd)
        report.records.append({QString(), json});
    QVERIFY(m_store->store(report).ok);
    QString error;
    const QList<QVariantList> rows = m_store->select(
        "SELECT kind, day, duration, crash_group, LENGTH(event_id) FROM records ORDER BY id", {},
        &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), 6);
    QVERIFY(rows[0][0].isNull());
    QCOMPARE(rows[1][0].toString(), "launch");
    QVERIFY(rows[1][1].isNull()); // no calendar day that far out
    QCOMPARE(rows[2][1].toString(), "2026-12-09");
    QVERIFY(rows[2][2].isNull());
    QVERIFY(rows[3][3].isNull());
    QVERIFY(rows[4][0].isNull());
    QCOMPARE(rows[5][4].toInt(), RecordFacts::kMaxText);
}

// Each column holds what the column table says of its record, on both stores.
void TestDashboardQueries::everyColumnIsKeptAsTheTableSays() {
    send({{"event", {eventRecord(at("2026-12-03"), "rank_share", "weibo")}},
          {"terminate", {terminate(at("2026-12-04"), 42.5)}},
          {"error",
           {errorRecord(at("2026-12-05"), "Application received signal SIGSEGV\n"
                                          "0 vantoro 0x1 main + 4")}}});
    QString error;
    const QList<QVariantList> rows = m_store->select(
        "SELECT " + RecordColumns::names() + " FROM records ORDER BY id", {}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), 3);
    for (const QVariantList& row : rows) {
        const QByteArray body = row[1].toString().toUtf8();
        const QVariantList expected =
            RecordColumns::values(row[0].toString(), body, RecordFacts::fromJson(body));
        QCOMPARE(row.size(), expected.size());
        for (qsizetype c = 0; c < row.size(); ++c) {
            const char* name = RecordColumns::all()[c].name;
            QVERIFY2(row[c].isNull() == expected[c].isNull(), name);
            if (RecordColumns::all()[c].type == RecordColumns::Type::Real)
                QVERIFY2(qFuzzyCompare(row[c].toDouble(), expected[c].toDouble()), name);
            else
                QVERIFY2(row[c].toString() == expected[c].toString(), name);
        }
    }
    // The lists go in by name: the error first, with its crash group.
    QCOMPARE(rows[0][2].toString(), "error");
    QVERIFY(!rows[0].constLast().isNull());
}

void TestDashboardQueries::selectRunsOnlyReadingStatements() {
    send({{"launch", QJsonArray{launch(at("2026-12-01"))}}});
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a query failed"));
    QVERIFY(m_store->select("SELECT nothing FROM nowhere", {}, &error).isEmpty());
    QVERIFY(!error.isEmpty());
    QVERIFY(m_store->select("DELETE FROM records", {}, &error).isEmpty());
    QCOMPARE(error, "not a read-only query");
    const QList<QVariantList> rows =
        m_store->select("SELECT COUNT(*), ? , ?, ? FROM records WHERE kind = ?",
                        {2.5, QVariant(), 7, "launch"}, &error);
    QVERIFY(error.isEmpty());
    QCOMPARE(rows, (QList<QVariantList>{{1LL, 2.5, QVariant(), 7LL}}));
}

QTEST_GUILESS_MAIN(TestDashboardQueries)
#include "tst_dashboardqueries.moc"
