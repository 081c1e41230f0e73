#include "server/store/sqlitereportstore.h"
#include "support/server/contentserverprocess.h"
#include "support/server/postgresdatabases.h"
#ifdef VANTORO_POSTGRES
#include "server/store/postgresreportstore.h"

#include <libpq-fe.h>
#endif

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VANTORO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTORO_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

#ifdef VANTORO_ADDRESS_SANITIZER
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

const QByteArray kToken = "record-export-token-0123456789";
constexpr int kRecords = 200000;
constexpr int kPerReport = 20000;
constexpr int kDays = 10;
// 2025-03-01T00:00:00Z; record i lies on day i % kDays after it.
constexpr qint64 kFirstDay = 1740787200;
// The export asks for days 2 to 7 of the ten.
const QString kFrom = QStringLiteral("2025-03-03");
const QString kTo = QStringLiteral("2025-03-08");

bool inPeriod(int record) {
    return record % kDays >= 2 && record % kDays <= 7;
}

// Record i: an event of about 300 bytes with its id "e<i>".
QByteArray recordText(int i) {
    const qint64 ts = kFirstDay + qint64(i % kDays) * 86400 + i % 86000;
    return "{\"id\":\"e" + QByteArray::number(i) +
           "\",\"type\":\"event\",\"ts\":" + QByteArray::number(ts) +
           ",\"event_id\":\"blow\",\"label\":\"line\\nbreak\",\"acc\":1," + "\"du\":0,\"note\":\"" +
           QByteArray(200, 'n') + "\"}";
}

// Stores every record in a few large reports: fast, and the same rows the
// collector would have kept.
bool fill(ReportStore& store) {
    for (int first = 0; first < kRecords; first += kPerReport) {
        QList<QByteArray> texts;
        for (int i = first; i < first + kPerReport; ++i)
            texts << recordText(i);
        ReportStore::Report report;
        for (const QByteArray& text : texts)
            report.records.append(
                {QString::fromLatin1(text.mid(7, text.indexOf('"', 7) - 7)), QByteArrayView(text)});
        if (!store.store(report, QStringLiteral("app")).ok)
            return false;
    }
    return true;
}

// The server's peak resident size so far, in kB.
qint64 peakKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const auto match = QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB"))
                           .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

struct Exported {
    int status = 0;
    std::string contentType;
    qint64 bytes = 0;
    // How often each record came out, and the lines that were not a
    // wrapped record.
    std::vector<int> seen = std::vector<int>(kRecords);
    int badLines = 0;
};

void takeLine(const QByteArray& line, Exported& out) {
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const QJsonObject record = object.value(QLatin1String("record")).toObject();
    const int i = record.value(QLatin1String("id")).toString().mid(1).toInt();
    const bool wrapped =
        object.value(QLatin1String("client")).toString() == QLatin1String("app") &&
        object.value(QLatin1String("received")).toString().size() == 24 &&
        record.value(QLatin1String("label")).toString() == QLatin1String("line\nbreak");
    if (!wrapped || i < 0 || i >= kRecords)
        ++out.badLines;
    else
        ++out.seen[std::size_t(i)];
}

Exported download(int port, const std::string& path) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(std::chrono::seconds(30));
    Exported out;
    QByteArray partial;
    const auto res = client.Get(
        path, {{"Authorization", "Bearer " + kToken.toStdString()}},
        [&out](const httplib::Response& head) {
            out.status = head.status;
            out.contentType = head.get_header_value("Content-Type");
            return true;
        },
        [&](const char* data, std::size_t length) {
            out.bytes += qint64(length);
            if (out.status != 200)
                return true;
            partial.append(data, qsizetype(length));
            qsizetype start = 0;
            for (qsizetype end; (end = partial.indexOf('\n', start)) >= 0; start = end + 1)
                takeLine(partial.sliced(start, end - start), out);
            partial.remove(0, start);
            return true;
        });
    // A body cut short, or a last line without its end.
    if (!res || !partial.isEmpty())
        out.status = 0;
    return out;
}

} // namespace

// GET /admin/export/records.ndjson over 200,000 stored records, from the
// server executable: every record of the period exactly once, none from
// outside it, while the server's memory stays far below the export's size.
class TestRecordExport : public QObject {
    Q_OBJECT

private slots:
    void everyRecordOnceInBoundedMemory_data();
    void everyRecordOnceInBoundedMemory();

private:
    QString databaseFor(const QString& store, QString* skip);

    QTemporaryDir m_dir;
    PostgresDatabases m_postgres;
};

void TestRecordExport::everyRecordOnceInBoundedMemory_data() {
    PostgresDatabases::addStoreRows();
}

// A database URL for the server, filled with the records.
QString TestRecordExport::databaseFor(const QString& store, QString* skip) {
    QString error;
    if (store == QLatin1String("sqlite")) {
        const QString path = m_dir.filePath(QStringLiteral("reports.sqlite"));
        SqliteReportStore sqlite;
        if (!sqlite.open(path, &error) || !fill(sqlite))
            return {};
        return QStringLiteral("sqlite:") + path;
    }
#ifdef VANTORO_POSTGRES
    const QString url = m_postgres.next(QStringLiteral("export"), skip, &error);
    PostgresReportStore postgres(url);
    if (url.isEmpty() || !postgres.open(&error) || !fill(postgres))
        return {};
    // The statistics autovacuum would have gathered by the time an operator
    // exports; a table filled a moment ago has none, and the planner takes
    // it for a few rows.
    PGconn* conn = PQconnectdb(url.toUtf8().constData());
    PGresult* analyzed = PQexec(conn, "ANALYZE");
    const bool ok = PQresultStatus(analyzed) == PGRES_COMMAND_OK;
    PQclear(analyzed);
    PQfinish(conn);
    return ok ? url : QString();
#else
    *skip = QStringLiteral("a build without the PostgreSQL store");
    return {};
#endif
}

void TestRecordExport::everyRecordOnceInBoundedMemory() {
    QFETCH(QString, store);
    QElapsedTimer clock;
    clock.start();
    QString skip;
    const QString database = databaseFor(store, &skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    QVERIFY(!database.isEmpty());
    const qint64 filled = clock.restart();

    const QString tokenFile = m_dir.filePath(QStringLiteral("token"));
    QFile token(tokenFile);
    QVERIFY(token.open(QIODevice::WriteOnly) && token.write(kToken) == kToken.size());
    token.close();
    QProcess server;
    const int port = startContentServer(server, {QStringLiteral("--data"), m_dir.filePath(store),
                                                 QStringLiteral("--database"), database,
                                                 QStringLiteral("--admin-token-file"), tokenFile});
    QVERIFY(port > 0);
    const auto stopped = qScopeGuard([&server] {
        server.terminate();
        server.waitForFinished(15000);
    });

    const qint64 before = peakKb(server.processId());
    clock.restart();
    const Exported exported =
        download(port, "/admin/export/records.ndjson?from=" + kFrom.toStdString() +
                           "&to=" + kTo.toStdString());
    const qint64 took = clock.elapsed();
    const qint64 after = peakKb(server.processId());
    QCOMPARE(exported.status, 200);
    QCOMPARE(exported.contentType, std::string("application/x-ndjson; charset=utf-8"));
    QCOMPARE(exported.badLines, 0);
    int records = 0;
    for (int i = 0; i < kRecords; ++i) {
        QVERIFY2(exported.seen[std::size_t(i)] == (inPeriod(i) ? 1 : 0),
                 qPrintable(QStringLiteral("record e%1 came out %2 times")
                                .arg(i)
                                .arg(exported.seen[std::size_t(i)])));
        records += exported.seen[std::size_t(i)];
    }
    qInfo("%s: filled in %lld ms; exported %d records, %.1f MB in %.2f s; server VmHWM %lld kB "
          "before, %lld kB after",
          qPrintable(store), filled, records, double(exported.bytes) / 1e6, double(took) / 1e3,
          before, after);
    QVERIFY(before > 0 && after > 0);
    if (kAddressSanitizer)
        return qInfo("peak memory not judged: the address sanitizer holds freed memory back");
    QVERIFY2((after - before) * 1024 < exported.bytes / 4,
             "the server held far more than a page of the export");
}

QTEST_GUILESS_MAIN(TestRecordExport)
#include "tst_recordexport.moc"
