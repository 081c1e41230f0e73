// Reports on the wire: built oldest first within their bounds, compressed,
// posted to the content server's collector, kept once however often they
// arrive, and a clear failure when they cannot be delivered; a backlog of a
// full cache goes out in one launch.
#include "analytics/analytics.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticsnetwork.h"
#include "analytics/report/analyticsreportbuilder.h"
#include "analytics/report/extracertificates.h"
#include "analytics/report/httpreportuploader.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"
#include "server/contentserver.h"
#include "support/scopedanalyticsservice.h"
#include "support/server/storedreports.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <zlib.h>

namespace {

// Posts through the real uploader and counts what it carried.
class CountingUploader : public AnalyticsUploader {
public:
    explicit CountingUploader(std::function<QUrl()> url) : m_http(std::move(url)) {}
    bool send(const QByteArray& json, QString* error) override {
        if (!m_http.send(json, error))
            return false;
        ++reports;
        const QJsonObject report = QJsonDocument::fromJson(json).object();
        for (auto it = report.begin(); it != report.end(); ++it)
            records += int(it.value().toArray().size());
        return true;
    }
    std::atomic<int> reports{0};
    std::atomic<int> records{0};

private:
    HttpReportUploader m_http;
};

template <typename Record> Record record(double ts, const QString& id) {
    Record r;
    r.stamp(QStringLiteral("r"), QStringLiteral("S"), ts);
    r.id = id;
    return r;
}

QStringList listIds(const QJsonObject& report, const char* list) {
    QStringList out;
    for (const QJsonValue r : report.value(QLatin1String(list)).toArray())
        out.append(r.toObject().value(QLatin1String("id")).toString());
    return out;
}

} // namespace

class TestReportUpload : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;
    ContentServer m_server;
    std::unique_ptr<QTemporaryDir> m_caches;
    std::unique_ptr<ScopedAnalyticsService> m_service;

    QUrl reportUrl() const {
        return QUrl(m_server.baseUrl() + QStringLiteral("/analytics/report"));
    }

    static QByteArray report(const QStringList& ids) {
        QJsonArray events;
        for (const QString& id : ids)
            events.append(QJsonObject{{QStringLiteral("id"), id},
                                      {QStringLiteral("type"), QStringLiteral("event")},
                                      {QStringLiteral("event_id"), QStringLiteral("blow")}});
        return QJsonDocument(QJsonObject{{QStringLiteral("header"), QJsonObject()},
                                         {QStringLiteral("event"), events}})
            .toJson(QJsonDocument::Compact);
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        m_server.setDataFolder(m_data.path());
        // One phone's whole backlog at once: what is tested is that nothing
        // is lost on the way, not the collector's limit per client.
        m_server.setClientRecordsPerSecond(0);
        QVERIFY(m_server.start());
    }

    void init() {
        m_caches = std::make_unique<QTemporaryDir>();
        QVERIFY(m_caches->isValid());
        AnalyticsService::Dependencies dependencies;
        dependencies.cachesFolder = m_caches->path();
        dependencies.crash = nullptr;
        m_service = std::make_unique<ScopedAnalyticsService>(dependencies);
    }

    void cleanup() {
        m_service.reset();
        m_caches.reset();
    }

    void compressionIsZlib() {
        const QByteArray json = report({"a", "b"}).repeated(20);
        const QByteArray packed = HttpReportUploader::compress(json);
        QVERIFY(packed.size() < json.size());
        QByteArray unpacked(json.size(), Qt::Uninitialized);
        uLongf size = uLongf(unpacked.size());
        QCOMPARE(uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &size,
                            reinterpret_cast<const Bytef*>(packed.constData()),
                            uLong(packed.size())),
                 Z_OK);
        QCOMPARE(unpacked, json);
    }

    // A report sent again, as after an answer that never arrived, adds
    // only the records the collector does not have.
    void theCollectorKeepsEachRecordOnce() {
        HttpReportUploader uploader([this] { return reportUrl(); });
        QString error;
        QVERIFY2(uploader.send(report({"r1", "r2"}), &error), qPrintable(error));
        QVERIFY2(uploader.send(report({"r2", "r3"}), &error), qPrintable(error));
        QCOMPARE(StoredReports(m_server).recordIds(), (QStringList{"r1", "r2", "r3"}));
        QCOMPARE(StoredReports(m_server).reportCount(), 2);
    }

    // The oldest records first across the lists, within the bounds; only
    // what the report carries is marked, whatever flags the records came
    // with, and the drop tallies go in the header.
    void aReportTakesTheOldestWithinItsBounds() {
        AnalyticsRecordLists lists;
        lists.launches = {record<LaunchRecord>(1, "l1"), record<LaunchRecord>(5, "l5")};
        lists.events = {record<EventRecord>(2, "e2"), record<EventRecord>(3, "e3"),
                        record<EventRecord>(6, "e6")};
        lists.errors = {record<ErrorRecord>(4, "x4")};
        lists.events.last().sendingFlag = true; // from a refused report
        lists.countDropped(7, "S", 0);
        const QJsonObject header{{"appkey", "k"}};

        AnalyticsReportBuilder::Report report =
            AnalyticsReportBuilder::build(lists, header, {4, 1 << 20});
        QJsonObject json = QJsonDocument::fromJson(report.json).object();
        QCOMPARE(report.records, 4);
        QVERIFY(report.more);
        QCOMPARE(listIds(json, "launch"), QStringList{"l1"});
        QCOMPARE(listIds(json, "event"), (QStringList{"e2", "e3"}));
        QCOMPARE(listIds(json, "error"), QStringList{"x4"});
        QCOMPARE(json.value("header").toObject().value("appkey").toString(), "k");
        QCOMPARE(json.value("header").toObject().value("dropped_records").toInt(), 7);
        QVERIFY(!lists.events.last().sendingFlag);
        lists.removeMarkedRecords();
        QCOMPARE(lists.size(), 2);
        QVERIFY(lists.dropped.isEmpty());

        // Bytes: a report of both records left takes `both` bytes; a byte
        // less leaves the second out, and the first goes however small the
        // bound.
        const qsizetype both =
            AnalyticsReportBuilder::build(lists, header, {10, 1 << 20}).json.size();
        report = AnalyticsReportBuilder::build(lists, header, {10, both});
        QCOMPARE(report.records, 2);
        QVERIFY(!report.more);
        QCOMPARE(report.json.size(), both);
        QVERIFY(!QJsonDocument::fromJson(report.json)
                     .object()
                     .value("header")
                     .toObject()
                     .contains("dropped_records"));
        report = AnalyticsReportBuilder::build(lists, header, {10, both - 1});
        QCOMPARE(report.records, 1);
        QVERIFY(report.more);
        report = AnalyticsReportBuilder::build(lists, header, {10, 10});
        QCOMPARE(report.records, 1);
        QCOMPARE(listIds(QJsonDocument::fromJson(report.json).object(), "launch"),
                 QStringList{"l5"});
        lists.removeMarkedRecords();
        QCOMPARE(lists.size(), 1);
        QCOMPARE(lists.events.first().id, "e6");
    }

    // A full cache read back at launch reaches the collector within that
    // launch, every record once, with the count of the one event that made
    // room for the launch.
    void aFullBacklogDrainsIntoTheCollector() {
        AnalyticsInternal& internal = AnalyticsInternal::sharedInstance();
        auto uploader = std::make_shared<CountingUploader>([this] { return reportUrl(); });
        internal.setUploader(uploader);
        AnalyticsNetwork::sharedInstance().setInterfaceLister(
            [] { return QStringList{QStringLiteral("eth0")}; });
        AnalyticsRecordLists cached;
        QSet<QString> expected;
        for (int i = 0; i < int(AnalyticsRecordCache::kMaxRecords); ++i) {
            EventRecord event;
            event.stamp(QStringLiteral("event"), QStringLiteral("BACKLOG"), 1'700'000'000.0 + i);
            event.event_id = QStringLiteral("blow_amount");
            cached.events.append(event);
            if (i > 0)
                expected.insert(event.id);
        }
        QVERIFY(internal.cache().save(cached.toJson()));
        const int reportsBefore = StoredReports(m_server).reportCount();
        const qsizetype recordsBefore = StoredReports(m_server).recordIds().size();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("keeps at most 100000 unsent"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a report says 1 records were "
                                                              "dropped"));
        QElapsedTimer timer;
        timer.start();
        Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
        NotificationCenter::defaultCenter().postNotificationName(
            ApplicationNotifications::didBecomeActive(), nullptr);
        QVERIFY(internal.waitForDone(60000));
        qInfo("%d reports, %lld ms", uploader->reports.load(), qlonglong(timer.elapsed()));

        const QStringList kept = StoredReports(m_server).recordIds().mid(recordsBefore);
        QCOMPARE(kept.size(), AnalyticsRecordCache::kMaxRecords);
        QCOMPARE(uploader->records.load(), kept.size());
        QCOMPARE(StoredReports(m_server).reportCount() - reportsBefore, uploader->reports.load());
        const QSet<QString> keptSet(kept.cbegin(), kept.cend());
        QVERIFY(expected.subtract(keptSet).isEmpty());
        QCOMPARE(StoredReports(m_server).droppedRecords(), 1);
        QVERIFY(internal.lists().isEmpty());
        QVERIFY(!internal.cache().exists());
        Analytics::finish(1000);
    }

    // The collector's store is out of reach (503 with Retry-After): the
    // application keeps every record and sends them all once the store is
    // back, without a record lost or kept twice.
    void aCollectorWithoutItsStoreLosesNothing() {
        const qsizetype recordsBefore = StoredReports(m_server).recordIds().size();
        QTemporaryDir blocked;
        m_server.stop();
        m_server.setDatabaseUrl(QStringLiteral("sqlite:") + blocked.path());
        QVERIFY(m_server.start());
        AnalyticsInternal& internal = AnalyticsInternal::sharedInstance();
        internal.setUploader(std::make_shared<HttpReportUploader>([this] { return reportUrl(); }));
        AnalyticsNetwork::sharedInstance().setInterfaceLister(
            [] { return QStringList{QStringLiteral("eth0")}; });

        Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
        NotificationCenter::defaultCenter().postNotificationName(
            ApplicationNotifications::didBecomeActive(), nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(internal.lists().launches.size(), 1, 10000);
        Analytics::event(QStringLiteral("blow"));
        QVERIFY(internal.waitForDone(10000));
        QTRY_COMPARE_WITH_TIMEOUT(internal.lists().events.size(), 1, 10000);
        QVERIFY(internal.waitForDone(10000));
        // Refused twice (the launch's report and the event's), kept both times.
        const AnalyticsRecordLists held = internal.lists();
        QCOMPARE(held.launches.size(), 1);
        QCOMPARE(held.events.size(), 1);
        QCOMPARE(StoredReports(m_server).reportCount(), 0);

        m_server.stop();
        m_server.setDatabaseUrl(QString());
        QVERIFY(m_server.start());
        Analytics::event(QStringLiteral("blow_amount"));
        QVERIFY(internal.waitForDone(10000));
        QTRY_VERIFY_WITH_TIMEOUT(internal.lists().isEmpty(), 10000);
        const QStringList kept = StoredReports(m_server).recordIds().mid(recordsBefore);
        QCOMPARE(kept.size(), 3);
        QVERIFY(kept.contains(held.launches[0].id));
        QVERIFY(kept.contains(held.events[0].id));
        Analytics::finish(1000);
    }

    void failuresSayWhy() {
        QString error;
        HttpReportUploader nowhere([] { return QUrl(); });
        QVERIFY(!nowhere.send(report({"x"}), &error));
        QCOMPARE(error, QStringLiteral("no report address"));

        HttpReportUploader uploader([this] { return reportUrl(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report refused"));
        QVERIFY(!uploader.send("not json", &error));
        QVERIFY2(error.contains("answered 400"), qPrintable(error));

        // An https address is used, not refused: here the collector speaks
        // plain http, so the TLS handshake fails, and says so.
        QUrl tls = reportUrl();
        tls.setScheme(QStringLiteral("https"));
        HttpReportUploader secure([tls] { return tls; });
        QVERIFY(!secure.send(report({"z"}), &error));
        QVERIFY2(error.startsWith(tls.toString()) && error != QStringLiteral("no report address"),
                 qPrintable(error));

        const QUrl closed = reportUrl();
        m_server.stop();
        HttpReportUploader unreachable([closed] { return closed; });
        QVERIFY(!unreachable.send(report({"y"}), &error));
        QVERIFY2(error.startsWith(closed.toString()), qPrintable(error));
        QVERIFY(m_server.start());
        QVERIFY(!StoredReports(m_server).recordIds().contains("x"));
    }

    // The variables OpenSSL's tools read: a file, folders whose hash links
    // name a file twice, and a name that holds nothing, which is said.
    void extraCertificatesAreNamedByTheEnvironment() {
        QTemporaryDir dir;
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", "ca.key",
                                  "-out", "ca.pem", "-days", "1", "-subj", "/CN=Private CA"});
        if (!openssl.waitForFinished() || openssl.exitCode() != 0)
            QSKIP("openssl could not make a certificate");
        QVERIFY(QDir(dir.path()).mkdir("certs"));
        QVERIFY(QFile::copy(dir.filePath("ca.pem"), dir.filePath("certs/ca.pem")));
        QVERIFY(QFile::link(dir.filePath("certs/ca.pem"), dir.filePath("certs/1a2b3c4d.0")));
        const auto restore =
            qScopeGuard([file = qgetenv("SSL_CERT_FILE"), folders = qgetenv("SSL_CERT_DIR")] {
                qputenv("SSL_CERT_FILE", file);
                qputenv("SSL_CERT_DIR", folders);
            });
        qputenv("SSL_CERT_FILE", dir.filePath("ca.pem").toLocal8Bit());
        qputenv("SSL_CERT_DIR", (dir.filePath("certs") + ":" + dir.filePath("none")).toLocal8Bit());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("SSL_CERT_DIR names .*/none but no "
                                                              "certificate could be read there"));
        const QList<QSslCertificate> found = ExtraCertificates::fromEnvironment();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().subjectInfo(QSslCertificate::CommonName), QStringList{"Private CA"});
    }
};

QTEST_GUILESS_MAIN(TestReportUpload)
#include "tst_reportupload.moc"
