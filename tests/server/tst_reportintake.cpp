#include "server/reportintake.h"
#include "server/reports/reportparser.h"
#include "server/store/sqlitereportstore.h"
#include "support/server/storedreports.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

namespace {

QByteArray records(int count, const QByteArray& prefix = "r", int padding = 0) {
    QByteArray json = R"({"header": {"appkey": "k"}, "records": [)";
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            json += ',';
        json += R"({"id": ")" + prefix + QByteArray::number(i) + R"(", "pad": ")" +
                QByteArray(padding, 'x') + "\"}";
    }
    return json + "]}";
}

QJsonObject answerFor(int stored, int duplicates) {
    return {{QStringLiteral("stored"), stored}, {QStringLiteral("duplicates"), duplicates}};
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}

} // namespace

class TestReportIntake : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsAreViewsOfTheReportText();
    void malformedReportsAreRefusedAndNothingIsKept_data();
    void malformedReportsAreRefusedAndNothingIsKept();
    void differentIdsStayDifferent();
    void longCrashTextsAreCutBeforeTheyAreReadOrKept_data();
    void longCrashTextsAreCutBeforeTheyAreReadOrKept();
    void theRecordLimitIsCheckedBeforeTheReportIsReadWhole();
    void reportsWithNothingToKeepLeaveNothing();
    void aRepeatedReportAddsNoBody();
    void aClosedStoreAsksForTheReportLater();
    void anOldDatabaseKeepsItsRecordsAndLosesItsBodies();
    void addressClasses_data();
    void addressClasses();

private:
    QString m_path;
    QTemporaryDir* m_dir = nullptr;
    SqliteReportStore* m_store = nullptr;
};

void TestReportIntake::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("reports.sqlite"));
    m_store = new SqliteReportStore;
    QString error;
    QVERIFY2(m_store->open(m_path, &error), qPrintable(error));
}

void TestReportIntake::cleanup() {
    delete m_store;
    m_store = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

void TestReportIntake::recordsAreViewsOfTheReportText() {
    // Pretty-printed, escaped names and ids, lists of any name, elements
    // that are not records.
    const QByteArray text = R"( {
        "header": {"dropped_records": 4, "appkey": "k"},
        "launches": [ {"id": "L1", "date": "x y"}, {"date": "no id"}, 7, "text", [] ],
        "events": [ {"\u0069d": "caf\u00e9 \ud83d\ude00", "kv": {"a": [1, -2.5e3, true, null]}} ],
        "version": "1.0"
    } )";
    ReportParser parser(text, ReportIntake::kMaxRecords);
    const auto report = parser.parse();
    QVERIFY2(report, qPrintable(parser.error()));
    QCOMPARE(report->droppedRecords, 4);
    QCOMPARE(report->records.size(), 3);
    QCOMPARE(report->records[0].id, QStringLiteral("L1"));
    QVERIFY(report->records[1].id.isNull());
    QCOMPARE(report->records[2].id, QStringLiteral("café 😀"));
    for (const ReportStore::Record& record : report->records) {
        // No copy: each record is the report's own text.
        QVERIFY(record.json.data() >= text.constData() &&
                record.json.data() + record.json.size() <= text.constData() + text.size());
        QVERIFY(QJsonDocument::fromJson(record.json.toByteArray()).isObject());
    }

    // Kept without the white space between tokens, and without changing strings.
    QCOMPARE(m_store->store(*report).stored, 3);
    QCOMPARE(StoredReports(*m_store).recordBodies(),
             (QList<QByteArray>{
                 R"({"id":"L1","date":"x y"})", R"({"date":"no id"})",
                 R"({"\u0069d":"caf\u00e9 \ud83d\ude00","kv":{"a":[1,-2.5e3,true,null]}})"}));
    QCOMPARE(StoredReports(*m_store).recordIds(), (QStringList{"L1", "café 😀"}));
    QCOMPARE(StoredReports(*m_store).droppedRecords(), 4);
}

void TestReportIntake::malformedReportsAreRefusedAndNothingIsKept_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("not JSON") << QByteArray("records: x1");
    QTest::newRow("a list") << QByteArray(R"([{"id": "x1"}])");
    QTest::newRow("nothing") << QByteArray("");
    QTest::newRow("text after") << QByteArray(R"({"records": [{"id": "x1"}]} {})");
    QTest::newRow("trailing comma") << QByteArray(R"({"records": [{"id": "x1"},]})");
    QTest::newRow("unclosed") << QByteArray(R"({"records": [{"id": "x1"})");
    QTest::newRow("unclosed string") << QByteArray(R"({"records": [{"id": "x1)");
    QTest::newRow("numeric id") << QByteArray(R"({"records": [{"id": "x1"}, {"id": 7}]})");
    QTest::newRow("empty id") << QByteArray(R"({"records": [{"id": ""}]})");
    QTest::newRow("two ids") << QByteArray(R"({"records": [{"id": "x1", "id": "x2"}]})");
    QTest::newRow("lone high surrogate id") << QByteArray(R"({"records": [{"id": "\ud800"}]})");
    QTest::newRow("lone low surrogate id") << QByteArray(R"({"records": [{"id": "\udc00"}]})");
    QTest::newRow("high surrogate then letter")
        << QByteArray(R"({"records": [{"id": "\udbff\u0041"}]})");
    QTest::newRow("lone surrogate elsewhere")
        << QByteArray(R"({"records": [{"id": "x1", "label": "a\ud800"}]})");
    QTest::newRow("bad escape") << QByteArray(R"({"records": [{"id": "x\q"}]})");
    QTest::newRow("short escape") << QByteArray(R"({"records": [{"id": "x\u00e"}]})");
    QTest::newRow("invalid UTF-8 id") << QByteArray("{\"records\": [{\"id\": \"x\xff\"}]}");
    QTest::newRow("overlong UTF-8") << QByteArray("{\"records\": [{\"id\": \"\xc0\xaf\"}]}");
    QTest::newRow("UTF-8 surrogate") << QByteArray("{\"records\": [{\"id\": \"\xed\xa0\x80\"}]}");
    QTest::newRow("cut UTF-8") << QByteArray("{\"records\": [{\"id\": \"\xe4\xb8\"}]}");
    QTest::newRow("control character") << QByteArray("{\"records\": [{\"id\": \"a\tb\"}]}");
    QTest::newRow("leading zero") << QByteArray(R"({"records": [{"id": "x", "n": 01}]})");
    QTest::newRow("bare minus") << QByteArray(R"({"records": [{"id": "x", "n": -}]})");
    QTest::newRow("no fraction digits") << QByteArray(R"({"records": [{"id": "x", "n": 1.}]})");
    QTest::newRow("space in number") << QByteArray(R"({"records": [{"id": "x", "n": 1 .5}]})");
    QTest::newRow("bad literal") << QByteArray(R"({"records": [{"id": "x", "n": nul}]})");
    QTest::newRow("negative drop count") << QByteArray(R"({"header": {"dropped_records": -1}})");
    QTest::newRow("fractional drop count") << QByteArray(R"({"header": {"dropped_records": 1.5}})");
    QTest::newRow("drop count beyond a double")
        << QByteArray(R"({"header": {"dropped_records": 1e400}})");
    QTest::newRow("drop count beyond 2^53")
        << QByteArray(R"({"header": {"dropped_records": 1e17}})");
    QTest::newRow("drop count as text") << QByteArray(R"({"header": {"dropped_records": "3"}})");
    const int depth = ReportParser::kMaxDepth + 1;
    QTest::newRow("a list name that breaks the line")
        << QByteArray(R"({"x\nreport store: forged\u202e": [{"id": 5}]})");
    QTest::newRow("nested too deep") << R"({"records": [{"id": "x", "n": )" +
                                            QByteArray(depth, '[') + QByteArray(depth, ']') + "}]}";
}

void TestReportIntake::malformedReportsAreRefusedAndNothingIsKept() {
    QFETCH(QByteArray, text);
    // One log line, whatever the report's names hold.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^report refused: [^\n\u202e]*$"));
    const ReportIntake::Answer answer = ReportIntake(*m_store).take(text);
    QCOMPARE(answer.status, 400);
    QVERIFY(!answer.body.value(QStringLiteral("error")).toString().isEmpty());
    QCOMPARE(StoredReports(*m_store).reportCount(), 0);
    QVERIFY(StoredReports(*m_store).recordBodies().isEmpty());
}

// Ids are compared as the text they stand for: an escape and the character
// itself are one id, and "?" is an id of its own.
void TestReportIntake::differentIdsStayDifferent() {
    ReportIntake intake(*m_store);
    QCOMPARE(
        intake.take(R"({"records": [{"id": "?"}, {"id": "\ud83d\ude00"}, {"id": "\u00e9"}]})").body,
        answerFor(3, 0));
    QCOMPARE(intake
                 .take("{\"records\": [{\"id\": \"\xc3\xa9\"}, {\"id\": \"\xf0\x9f\x98\x80\"}, "
                       "{\"id\": \"\\u003f\"}, {\"id\": \"\\udbff\\udfff\"}]}")
                 .body,
             answerFor(1, 3));
    QCOMPARE(StoredReports(*m_store).recordIds(),
             (QStringList{"?", QString::fromUtf8("\xf0\x9f\x98\x80"), QString::fromUtf8("é"),
                          QString(QChar(0xdbff)) + QChar(0xdfff)}));
}

void TestReportIntake::longCrashTextsAreCutBeforeTheyAreReadOrKept_data() {
    QTest::addColumn<QString>("stackLine");
    QTest::addColumn<int>("lines");
    QTest::newRow("short: kept whole") << QStringLiteral("libc.so.6(+0x4)[0x5]") << 100;
    // Multi-byte characters and escapes of every length, so that the cuts
    // fall inside them at some line.
    QTest::newRow("8 MiB of a(b)") << QStringLiteral("a(b)") << 1677722;
    QTest::newRow("escapes and UTF-8") << QStringLiteral("é\t\"😀\u0001 €(+0x1)") << 120000;
}

// A crash text of megabytes costs no more than one of 64 KiB: the stored
// record holds its head and tail and says how much was cut, and the group
// still has its reason, build and first frame.
void TestReportIntake::longCrashTextsAreCutBeforeTheyAreReadOrKept() {
    QFETCH(QString, stackLine);
    QFETCH(int, lines);
    QStringList stack{QStringLiteral("/usr/lib/libc.so.6(+0x1)[0x2]"),
                      QStringLiteral("vantoro(+0x5e56)[0x3]")};
    stack += QStringList(lines, stackLine);
    const QString context = QStringLiteral("Application received signal SIGSEGV\n(null)\n(\n") +
                            stack.join(u'\n') +
                            QStringLiteral("\n)\n\ndSYM UUID: B1D\nBinary Image: vantoro\n");
    const QJsonObject record{{"id", "e1"}, {"type", "error"}, {"context", context}};
    const QByteArray report =
        QJsonDocument(QJsonObject{{"error", QJsonArray{record}}}).toJson(QJsonDocument::Compact);
    QCOMPARE(ReportIntake(*m_store).take(report).body, answerFor(1, 0));

    const QByteArray body = StoredReports(*m_store).recordBodies().value(0);
    const QString kept = QJsonDocument::fromJson(body).object().value("context").toString();
    QVERIFY2(!kept.isEmpty(), body.left(200).constData());
    const QString wholeJson = QString::fromUtf8(QJsonDocument(record).toJson());
    if (wholeJson.toUtf8().size() < 64 * 1024) {
        QCOMPARE(kept, context);
    } else {
        QVERIFY2(body.size() < 65 * 1024, QByteArray::number(body.size()));
        QVERIFY(kept.contains(QRegularExpression("\\n\\[[0-9]+ of [0-9]+ bytes of this crash "
                                                 "text were cut\\]\\n")));
        const qsizetype mark = kept.indexOf(QStringLiteral("bytes of this crash text were cut"));
        const qsizetype head = kept.lastIndexOf(u'\n', mark);
        QVERIFY(context.startsWith(kept.first(head)));
        QVERIFY(context.endsWith(kept.sliced(kept.indexOf(u'\n', mark) + 1)));
    }
    QString error;
    const QList<QVariantList> group =
        m_store->select("SELECT crash_kind, crash_build, crash_frame FROM records", {}, &error);
    QCOMPARE(group.value(0),
             (QVariantList{"Application received signal SIGSEGV", "B1D", "vantoro(+0x5e56)"}));
}

void TestReportIntake::theRecordLimitIsCheckedBeforeTheReportIsReadWhole() {
    ReportIntake intake(*m_store);
    const qsizetype limit = ReportIntake::kMaxRecords;
    QCOMPARE(intake.take(records(int(limit))).body, answerFor(int(limit), 0));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report refused: more than 20000"));
    const ReportIntake::Answer over = intake.take(records(int(limit) + 1, "s"));
    QCOMPARE(over.status, 413);
    // Refused at the first record too many: what follows it is never read.
    QByteArray cut = records(int(limit) + 1, "t");
    cut.chop(3);
    cut += "{\"id\": [[[ not JSON";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report refused: more than 20000"));
    QCOMPARE(intake.take(cut).status, 413);
    QCOMPARE(StoredReports(*m_store).reportCount(), 1);
    QCOMPARE(StoredReports(*m_store).recordIds().size(), limit);
}

void TestReportIntake::reportsWithNothingToKeepLeaveNothing() {
    ReportIntake intake(*m_store);
    const qint64 size = fileSize(m_path);
    for (const QByteArray& empty :
         {QByteArray("{}"), QByteArray(R"({"records": [], "header": {"dropped_records": 0}})"),
          QByteArray(R"({"events": [1, "two"], "version": "1.0"})")}) {
        const ReportIntake::Answer answer = intake.take(empty);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, answerFor(0, 0));
    }
    QCOMPARE(StoredReports(*m_store).reportCount(), 0);
    QCOMPARE(fileSize(m_path), size);

    // A count of dropped records is worth a row even without records.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a report says 5 records were dropped"));
    QCOMPARE(intake.take(R"({"header": {"dropped_records": 5}, "records": []})").status, 200);
    QCOMPARE(StoredReports(*m_store).reportCount(), 1);
    QCOMPARE(StoredReports(*m_store).droppedRecords(), 5);
}

void TestReportIntake::aRepeatedReportAddsNoBody() {
    ReportIntake intake(*m_store);
    const QByteArray report = records(2000, "r", 500);
    QVERIFY(report.size() > 1000000);
    QCOMPARE(intake.take(report).body, answerFor(2000, 0));
    const qint64 once = fileSize(m_path);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(intake.take(report).body, answerFor(0, 2000));
    QCOMPARE(StoredReports(*m_store).reportCount(), 9);
    QCOMPARE(StoredReports(*m_store).recordIds().size(), 2000);
    // Eight rows of counts, a page or two; one body alone is a megabyte.
    QVERIFY2(fileSize(m_path) - once < 32 * 1024,
             qPrintable(QStringLiteral("%1 -> %2").arg(once).arg(fileSize(m_path))));
}

void TestReportIntake::aClosedStoreAsksForTheReportLater() {
    m_store->close();
    const ReportIntake::Answer answer = ReportIntake(*m_store).take(records(2));
    QCOMPARE(answer.status, 503);
    QVERIFY(answer.body.contains(QStringLiteral("error")));
}

void TestReportIntake::anOldDatabaseKeepsItsRecordsAndLosesItsBodies() {
    m_store->close();
    QFile::remove(m_path);
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(m_path.toUtf8().constData(), &db), SQLITE_OK);
    const QByteArray padding(200000, 'p');
    const QByteArray script =
        "CREATE TABLE reports(id INTEGER PRIMARY KEY, received TEXT NOT NULL, body TEXT NOT NULL);"
        "CREATE TABLE records(id INTEGER PRIMARY KEY, report INTEGER NOT NULL REFERENCES "
        "reports(id), record_id TEXT UNIQUE, body TEXT NOT NULL);"
        "INSERT INTO reports VALUES(1, 't1', '{\"header\": {\"dropped_records\": 3}, \"pad\": \"" +
        padding +
        "\"}');"
        "INSERT INTO reports VALUES(2, 't2', 'not json " +
        padding +
        "');"
        "INSERT INTO reports VALUES(3, 't3', '{}');"
        "INSERT INTO records(report, record_id, body) VALUES(1, 'o1', '{\"id\":\"o1\"}'), "
        "(1, NULL, '{\"n\":1}'), (2, 'o2', '{\"id\":\"o2\"}');";
    QCOMPARE(sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const qint64 oldSize = fileSize(m_path);

    QString error;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("keeping counts instead of report bodies"));
    QVERIFY2(m_store->open(m_path, &error), qPrintable(error));
    QCOMPARE(StoredReports(*m_store).recordIds(), (QStringList{"o1", "o2"}));
    QCOMPARE(StoredReports(*m_store).recordBodies().size(), 3);
    QCOMPARE(StoredReports(*m_store).reportCount(), 3);
    QCOMPARE(StoredReports(*m_store).droppedRecords(), 3);
    QVERIFY2(fileSize(m_path) < oldSize / 4,
             qPrintable(QStringLiteral("%1 -> %2").arg(oldSize).arg(fileSize(m_path))));

    // Upgraded once: it opens again as it is, and takes reports as a new one.
    m_store->close();
    QVERIFY(m_store->open(m_path, &error));
    QCOMPARE(ReportIntake(*m_store).take(R"({"records": [{"id": "o2"}, {"id": "n1"}]})").body,
             answerFor(1, 1));
    QCOMPARE(StoredReports(*m_store).recordIds(), (QStringList{"o1", "o2", "n1"}));
    QCOMPARE(StoredReports(*m_store).reportCount(), 4);
}

void TestReportIntake::addressClasses_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("v4 loopback") << "127.0.0.1"
                                 << "loopback";
    QTest::newRow("v4 ten") << "10.1.2.3"
                            << "private";
    QTest::newRow("v4 172.16") << "172.16.0.9"
                               << "private";
    QTest::newRow("v4 172.32") << "172.32.0.9"
                               << "public";
    QTest::newRow("v4 192.168") << "192.168.1.20"
                                << "private";
    QTest::newRow("v4 link-local") << "169.254.3.4"
                                   << "link-local";
    QTest::newRow("v4 public") << "8.8.8.8"
                               << "public";
    QTest::newRow("v4 part over 255") << "256.1.1.1"
                                      << "";
    QTest::newRow("v4 three parts") << "10.1.2"
                                    << "";
    QTest::newRow("v6 loopback") << "::1"
                                 << "loopback";
    QTest::newRow("v6 mapped private") << "::ffff:192.168.0.1"
                                       << "private";
    QTest::newRow("v6 link-local") << "FE80::1"
                                   << "link-local";
    QTest::newRow("v6 unique local") << "fd12:3456::1"
                                     << "private";
    QTest::newRow("v6 short first group") << "fd::1"
                                          << "public";
    QTest::newRow("v6 public") << "2001:db8::1"
                               << "public";
    QTest::newRow("none") << ""
                          << "";
    QTest::newRow("a name") << "example.org"
                            << "";
}

void TestReportIntake::addressClasses() {
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(ReportIntake::addressClass(address), expected);
}

QTEST_GUILESS_MAIN(TestReportIntake)
#include "tst_reportintake.moc"
