// Reports on the wire: compressed, posted to the content server's collector,
// kept once however often they arrive, and a clear failure when they cannot
// be delivered.
#include "contentserver.h"
#include "httpreportuploader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

class TestReportUpload : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;
    ContentServer m_server;

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
        QVERIFY(m_server.start());
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
        QCOMPARE(m_server.recordIds(), (QStringList{"r1", "r2", "r3"}));
        QCOMPARE(m_server.reportCount(), 2);
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

        const QUrl closed = reportUrl();
        m_server.stop();
        HttpReportUploader unreachable([closed] { return closed; });
        QVERIFY(!unreachable.send(report({"y"}), &error));
        QVERIFY2(error.startsWith(closed.toString()), qPrintable(error));
        QVERIFY(m_server.start());
        QVERIFY(!m_server.recordIds().contains("x"));
    }
};

QTEST_GUILESS_MAIN(TestReportUpload)
#include "tst_reportupload.moc"
