// The record cache file: every field of every kind of record comes back as
// it was written, a damaged or oversized file is dropped with a log line,
// and the lists keep within the cache's bound by dropping their oldest
// events, counted.
#include "analytics/records/analyticsrecordcache.h"
#include "analytics/records/analyticsrecordlists.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestAnalyticsRecordCache : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path() const {
        return m_dir.filePath(
            AnalyticsRecordCache::fileName(QStringLiteral("app.vantoro.Vantoro")));
    }

    static AnalyticsRecordLists sample() {
        AnalyticsRecordLists lists;
        LaunchRecord launch;
        launch.stamp(QStringLiteral("launch"), QStringLiteral("S1"), 1'765'000'000.25);
        lists.launches.append(launch);
        TerminateRecord end;
        end.stamp(QStringLiteral("terminate"), QStringLiteral("S1"), 1'765'000'100.5);
        end.duration = 100;
        end.activities = QJsonArray{QStringLiteral("page")};
        end.latitude = 39.9;
        end.longitude = 116.4;
        end.gps_time = 1'765'000'099'000;
        end.sendingFlag = true;
        lists.terminates.append(end);
        EventRecord event;
        event.stamp(QStringLiteral("event"), QStringLiteral("S1"), 1'765'000'050);
        event.event_id = QStringLiteral("blow");
        event.label = QStringLiteral("标签");
        event.acc = 3;
        event.du = 1500;
        lists.events.append(event);
        EventRecord keyed = event;
        keyed.id = QStringLiteral("k1");
        keyed.values = {{QStringLiteral("city"), QStringLiteral("北京")}};
        lists.ekv.append(keyed);
        DropRecord tally;
        tally.stamp(QStringLiteral("dropped"), QStringLiteral("S1"), 1'765'000'060);
        tally.count = 12;
        lists.dropped.append(tally);
        ErrorRecord error;
        error.stamp(QStringLiteral("error"), QStringLiteral("S0"), 1'764'999'000);
        error.context = QStringLiteral("Application received signal SIGSEGV\n(null)\n()\n\n");
        lists.errors.append(error);
        return lists;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QCOMPARE(AnalyticsRecordCache::fileName(QStringLiteral("app.vantoro.Vantoro")),
                 QStringLiteral(".app.vantoro.Vantoro_analyticsCache.plist"));
    }

    void everyFieldSurvivesTheFile() {
        const AnalyticsRecordCache cache(path());
        const AnalyticsRecordLists written = sample();
        QVERIFY(cache.save(written.toJson()));
        const auto body = cache.load();
        QVERIFY(body);
        QCOMPARE(QStringList(body->keys()),
                 (QStringList{"dropped", "ekv", "error", "event", "launch", "terminate"}));
        QStringList skipped;
        const AnalyticsRecordLists read = AnalyticsRecordLists::fromJson(*body, {}, &skipped);
        QVERIFY(skipped.isEmpty());
        QCOMPARE(read.toJson(), written.toJson());
        const TerminateRecord& end = read.terminates.first();
        QVERIFY(end.sendingFlag);
        QCOMPARE(*end.gps_time, qint64(1'765'000'099'000));
        QCOMPARE(read.events.first().ts, 1'765'000'050.0);
        QCOMPARE(read.events.first().date.size(), 10);
        QCOMPARE(read.ekv.first().values.value(QStringLiteral("city")).toString(),
                 QStringLiteral("北京"));
        QCOMPARE(read.errors.first().context, written.errors.first().context);
        QCOMPARE(read.droppedCount(), 12);
        // The next write replaces it; nothing of the temporary file is left.
        AnalyticsRecordLists less = written;
        less.events.clear();
        QVERIFY(cache.save(less.toJson()));
        QVERIFY(!cache.load()->contains(QLatin1String("event")));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void errorsCanBeLeftOut() {
        AnalyticsRecordLists::ReadOptions options;
        options.loadErrors = false;
        const AnalyticsRecordLists read =
            AnalyticsRecordLists::fromJson(sample().toJson(), options);
        QVERIFY(read.errors.isEmpty());
        QCOMPARE(read.launches.size(), 1);
        QCOMPARE(read.events.size(), 1);
    }

    // One damaged list costs that list only.
    void aDamagedListIsSkipped() {
        QJsonObject body = sample().toJson();
        QJsonArray events = body.value(QLatin1String("event")).toArray();
        events.append(QJsonObject{{QStringLiteral("event_id"), QStringLiteral("no id or time")}});
        body.insert(QStringLiteral("event"), events);
        body.insert(QStringLiteral("launch"), QStringLiteral("not a list"));
        QStringList skipped;
        const AnalyticsRecordLists read = AnalyticsRecordLists::fromJson(body, {}, &skipped);
        QCOMPARE(skipped, (QStringList{"launch", "event"}));
        QVERIFY(read.events.isEmpty());
        QVERIFY(read.launches.isEmpty());
        QCOMPARE(read.terminates.size(), 1);
    }

    void aDamagedFileIsDroppedAndLogged_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("garbage") << QByteArray("\x00\x01 not json", 12);
        QTest::newRow("truncated") << QByteArray("{\"body\":{\"launch\":[{\"id\":\"a\",\"ts\":1");
        QTest::newRow("not an object") << QByteArray("[1,2,3]");
        QTest::newRow("body not an object") << QByteArray("{\"body\":[]}");
        QTest::newRow("empty file") << QByteArray();
    }
    void aDamagedFileIsDroppedAndLogged() {
        QFETCH(QByteArray, contents);
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
        file.close();
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("analytics cache .* is unreadable .* deleted"));
        const AnalyticsRecordCache cache(path());
        QVERIFY(!cache.load());
        QVERIFY(!cache.exists());
    }

    // A file far beyond what a full cache takes is refused before it is
    // read, however well-formed it is.
    void anOversizedFileIsRefusedUnread() {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QJsonObject body = sample().toJson();
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("body"), body}}).toJson());
        const QByteArray blanks(1 << 20, ' ');
        while (file.size() <= AnalyticsRecordCache::kMaxFileBytes)
            QVERIFY(file.write(blanks) == blanks.size());
        file.close();
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("analytics cache .* is unreadable \\(.*over "
                                                "67108864.*\\); ignored and deleted"));
        const AnalyticsRecordCache cache(path());
        QVERIFY(!cache.load());
        QVERIFY(!cache.exists());
    }

    // Over the bound, the oldest events go first, plain or keyed; other
    // records only when no event is left.
    void theOldestEventsMakeRoom() {
        AnalyticsRecordLists lists;
        auto add = [](auto& list, double ts) {
            typename std::remove_reference_t<decltype(list)>::value_type record;
            record.stamp(QStringLiteral("r"), QStringLiteral("S"), ts);
            list.append(record);
        };
        add(lists.launches, 1);
        add(lists.events, 2);
        add(lists.ekv, 3);
        add(lists.errors, 4);
        add(lists.events, 5);
        add(lists.terminates, 6);
        QCOMPARE(lists.trimOldest(6), 0);
        QCOMPARE(lists.trimOldest(4), 2);
        QCOMPARE(lists.events.size(), 1);
        QCOMPARE(lists.events.first().ts, 5.0);
        QVERIFY(lists.ekv.isEmpty());
        QCOMPARE(lists.trimOldest(2), 2);
        QVERIFY(lists.events.isEmpty());
        QVERIFY2(lists.launches.isEmpty(), "the oldest of the rest goes next");
        QCOMPARE(lists.errors.size(), 1);
        QCOMPARE(lists.terminates.size(), 1);
    }

    // Drops add up on one tally until a report carries it; later drops
    // start another, so the report counts only what it knew of.
    void dropsAreCountedOnTallies() {
        AnalyticsRecordLists lists;
        QVERIFY(lists.countDropped(3, QStringLiteral("S"), 10));
        QVERIFY(!lists.countDropped(2, QStringLiteral("S"), 11));
        QVERIFY(!lists.countDropped(0, QStringLiteral("S"), 12));
        QCOMPARE(lists.dropped.size(), 1);
        QCOMPARE(lists.droppedCount(), 5);
        QVERIFY2(!lists.isEmpty(), "a count alone is still to be reported");
        lists.dropped.first().sendingFlag = true;
        QVERIFY(lists.countDropped(4, QStringLiteral("S"), 13));
        lists.removeMarkedRecords();
        QCOMPARE(lists.droppedCount(), 4);
    }

    void noFileIsNothingToRead() {
        const AnalyticsRecordCache cache(path());
        cache.remove();
        QVERIFY(!cache.load());
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsRecordCache)
#include "tst_analyticsrecordcache.moc"
