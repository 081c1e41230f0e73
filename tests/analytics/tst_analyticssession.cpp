// The analytics service through one application life in virtual time:
// sessions that follow activation, events and their checks, the send
// decision under policy 0, what a report carries and what it leaves, and the
// record cache between uses. Each function has a service of its own.
#include "analytics/analytics.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticsnetwork.h"
#include "analytics/analyticssession.h"
#include "analytics/report/analyticsreportbuilder.h"
#include "analytics/report/analyticsuploader.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"
#include "platform/system/userdefaults.h"
#include "support/fakeclock.h"
#include "support/scopedanalyticsservice.h"

#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <mutex>

namespace {

// Keeps every report it is given; can refuse them (all, or those after a
// number of accepted ones), or hold one until told.
class RecordingUploader : public AnalyticsUploader {
public:
    bool send(const QByteArray& json, QString* error) override {
        if (hold) {
            entered.release();
            gate.acquire();
        }
        std::lock_guard lock(mutex);
        if (!succeed || acceptMore == 0) {
            *error = QStringLiteral("refused by the test");
            return false;
        }
        if (acceptMore > 0)
            --acceptMore;
        reports.append(QJsonDocument::fromJson(json).object());
        sizes.append(json.size());
        return true;
    }
    int count() {
        std::lock_guard lock(mutex);
        return int(reports.size());
    }
    QJsonObject last() {
        std::lock_guard lock(mutex);
        return reports.isEmpty() ? QJsonObject() : reports.last();
    }

    std::mutex mutex;
    QList<QJsonObject> reports;
    QList<qsizetype> sizes;
    std::atomic<bool> succeed{true};
    std::atomic<int> acceptMore{-1}; // -1: no limit
    std::atomic<bool> hold{false};
    QSemaphore entered;
    QSemaphore gate;
};

QStringList values(const QJsonObject& report, const char* list, const char* field) {
    QStringList out;
    for (const QJsonValue record : report.value(QLatin1String(list)).toArray())
        out.append(record.toObject().value(QLatin1String(field)).toVariant().toString());
    return out;
}

QStringList eventIds(const QJsonObject& report) {
    return values(report, "event", "event_id");
}

QStringList eventIds(const QList<EventRecord>& events) {
    QStringList out;
    for (const EventRecord& e : events)
        out.append(e.event_id);
    return out;
}

void post(const QString& name) {
    NotificationCenter::defaultCenter().postNotificationName(name, nullptr);
}

// `count` events a second apart from `firstTs` on, in time order.
AnalyticsRecordLists backlog(int count, double firstTs) {
    AnalyticsRecordLists lists;
    lists.events.reserve(count);
    for (int i = 0; i < count; ++i) {
        EventRecord event;
        event.stamp(QStringLiteral("event"), QStringLiteral("BACKLOG"), firstTs + i);
        event.event_id = QStringLiteral("blow_amount");
        lists.events.append(event);
    }
    return lists;
}

QStringList ids(const QList<EventRecord>& events) {
    QStringList out;
    for (const EventRecord& e : events)
        out.append(e.id);
    return out;
}

const QString kVersion = QStringLiteral("1.0.0");
const QString kAppKey = QStringLiteral("7c0e91d2ab4f3e6058d1c2b7");
// Set for the copy of this test that runs a whole application life in a
// process of its own.
const char* const kChildVariable = "ANALYTICS_SESSION_CHILD";

QStringList onlyEth0() {
    return {QStringLiteral("eth0")};
}

} // namespace

class TestAnalyticsSession : public QObject {
    Q_OBJECT

    FakeClock m_clock{1'800'000'000.0 - Clock::kReferenceDateUnixSeconds};
    std::shared_ptr<RecordingUploader> m_uploader;
    std::unique_ptr<QTemporaryDir> m_caches;
    std::unique_ptr<ScopedAnalyticsService> m_service;

    // These look at what comes before the first session; every other
    // function begins in a session, its launch reported.
    static bool beginsBeforeTheStart() {
        const QByteArray name = QTest::currentTestFunction();
        return name == "anEarlyEventGoesOutWithTheFirstLaunch" ||
               name == "aQuitWithoutActivationKeepsTheRecords";
    }

    AnalyticsInternal& internal() { return AnalyticsInternal::sharedInstance(); }
    // A bound for a hang, not a speed: draining the full backlog of 100,000
    // records takes about 3 s, and over 10 s in the sanitizer build.
    void settle() { QVERIFY(internal().waitForDone(60000)); }

    // Ends the use and starts the next, as switching away and back does.
    void resign() {
        post(ApplicationNotifications::willResignActive());
        settle();
    }
    void activate() {
        post(ApplicationNotifications::didBecomeActive());
        settle();
    }

    void writeCache(const AnalyticsRecordLists& lists) {
        QVERIFY(internal().cache().save(lists.toJson()));
    }

    static AnalyticsRecordLists oldRecords() {
        AnalyticsRecordLists lists;
        LaunchRecord launch;
        launch.stamp(QStringLiteral("launch"), QStringLiteral("OLD"), 1'700'000'000);
        lists.launches.append(launch);
        EventRecord event;
        event.stamp(QStringLiteral("event"), QStringLiteral("OLD"), 1'700'000'001);
        event.event_id = QStringLiteral("old");
        lists.events.append(event);
        ErrorRecord error;
        error.stamp(QStringLiteral("error"), QStringLiteral("OLD"), 1'700'000'002);
        error.context = QStringLiteral("old crash");
        lists.errors.append(error);
        return lists;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        for (const char* key : {"report_policy", "analytics_report_interval", "lastPostDate",
                                "lastPostInterval", "AnalyticsAppVersion"})
            defaults.removeObjectForKey(QLatin1String(key));
        m_uploader = std::make_shared<RecordingUploader>();
        AnalyticsService::Dependencies dependencies;
        dependencies.clock = &m_clock;
        dependencies.uploader = m_uploader;
        dependencies.interfaces = onlyEth0;
        dependencies.crash = nullptr;
        // The child's cache is looked for in the home folder its parent
        // gave it.
        if (!qEnvironmentVariableIsSet(kChildVariable)) {
            m_caches = std::make_unique<QTemporaryDir>();
            QVERIFY(m_caches->isValid());
            dependencies.cachesFolder = m_caches->path();
        }
        m_service = std::make_unique<ScopedAnalyticsService>(dependencies);
        Analytics::setAppVersion(kVersion);
        if (beginsBeforeTheStart())
            return;
        Analytics::startWithAppkey(kAppKey, 0);
        activate();
        QCOMPARE(m_uploader->count(), 1);
    }

    void cleanup() {
        settle();
        m_service.reset();
        m_caches.reset();
    }

    // Before the first session, and even before the start, an event waits
    // in the temporary list and goes out with the first launch, once.
    void anEarlyEventGoesOutWithTheFirstLaunch() {
        Analytics::event(QStringLiteral("before start"));
        Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
        Analytics::event(QStringLiteral("early"));
        QCOMPARE(eventIds(internal().tmpContainer().events),
                 (QStringList{"before start", "early"}));
        QVERIFY(!AnalyticsSession::sharedInstance().launchHasBegan());
        // Nothing activates this application: the first launch comes 1.0 s
        // after the start.
        QTRY_VERIFY_WITH_TIMEOUT(AnalyticsSession::sharedInstance().launchHasBegan(), 3000);
        settle();
        QCOMPARE(m_uploader->count(), 1);
        const QJsonObject report = m_uploader->last();
        QCOMPARE(eventIds(report), (QStringList{"before start", "early"}));
        QCOMPARE(values(report, "launch", "type"), QStringList{"launch"});
        QCOMPARE(report.value("header").toObject().value("app_version").toString(), kVersion);
        QVERIFY(internal().tmpContainer().isEmpty());
        QVERIFY2(internal().lists().isEmpty(), "what a report carried is dropped");
        const QString id = internal().sessionID();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(id).hasMatch());
        QCOMPARE(values(report, "launch", "session_id"), QStringList{id});
    }

    // A window that never became active: the first session comes from the
    // start, and the quit ends it with no resignation before it. Its
    // records, unsent for want of a network, are in the cache afterwards.
    // Run in a process of its own, whose first session is still to come.
    void aQuitWithoutActivationKeepsTheRecords() {
        if (qEnvironmentVariableIsSet(kChildVariable)) {
            AnalyticsNetwork::sharedInstance().setInterfaceLister([] { return QStringList(); });
            Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
            Analytics::event(QStringLiteral("before the session"));
            QTRY_VERIFY_WITH_TIMEOUT(AnalyticsSession::sharedInstance().launchHasBegan(), 3000);
            settle();
            Analytics::event(QStringLiteral("in the session"));
            post(ApplicationNotifications::willTerminate());
            settle();
            return;
        }
        QTemporaryDir home;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), home.path());
        for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            env.remove(QLatin1String(name));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("aQuitWithoutActivationKeepsTheRecords")});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
        QDirIterator files(home.path(), {AnalyticsRecordCache::fileName(QStringLiteral("*"))},
                           QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QVERIFY2(files.hasNext(), "no cache written at the quit");
        const auto body = AnalyticsRecordCache(files.next()).load();
        QVERIFY(body);
        const auto lists = AnalyticsRecordLists::fromJson(*body, {});
        QCOMPARE(eventIds(lists.events), (QStringList{"before the session", "in the session"}));
        QCOMPARE(lists.launches.size(), 1);
        QCOMPARE(lists.terminates.size(), 1);
    }

    void eventIdentifiersAreChecked_data() {
        QTest::addColumn<QString>("eventId");
        QTest::addColumn<bool>("accepted");
        const QString han(42, QChar(0x80BA)); // 肺, three bytes each
        QTest::newRow("128 bytes") << han + QStringLiteral("ab") << true;
        QTest::newRow("129 bytes") << han + QStringLiteral("abc") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blanks") << QStringLiteral(" \t ") << false;
        QTest::newRow("plain") << QStringLiteral("blow") << true;
        // The warning shows the identifier as it is, placeholder and all.
        QTest::newRow("129 bytes with %2") << han + QStringLiteral("%2x") << false;
    }
    void eventIdentifiersAreChecked() {
        QFETCH(QString, eventId);
        QFETCH(bool, accepted);
        const int before = m_uploader->count();
        if (!accepted)
            QTest::ignoreMessage(
                QtWarningMsg,
                qPrintable(QStringLiteral("(Warning) Analytics event_id (%1) max bytes "
                                          "length > 128")
                               .arg(eventId.isNull() ? QStringLiteral("(null)") : eventId)));
        Analytics::event(eventId);
        settle();
        QCOMPARE(m_uploader->count(), before + (accepted ? 1 : 0));
        if (accepted)
            QCOMPARE(eventIds(m_uploader->last()), QStringList{eventId});
    }

    // Policy 0: an event and a launch ask for a report, an end of use does
    // not; what the end of use leaves goes out with the next launch.
    void policyZero() {
        const int before = m_uploader->count();
        resign();
        QCOMPARE(m_uploader->count(), before);
        QVERIFY(internal().lists().isEmpty());
        QVERIFY(internal().cache().exists());
        // In the background an event waits for the next launch.
        Analytics::event(QStringLiteral("background"));
        settle();
        QCOMPARE(m_uploader->count(), before);
        QVERIFY(internal().lists().events.isEmpty());
        const QString firstSession = internal().sessionID();
        activate();
        QCOMPARE(m_uploader->count(), before + 1);
        const QJsonObject report = m_uploader->last();
        QCOMPARE(values(report, "terminate", "session_id"), QStringList{firstSession});
        QCOMPARE(eventIds(report), QStringList{"background"});
        QVERIFY(internal().sessionID() != firstSession);
        QVERIFY2(!internal().cache().exists(), "the report carried what the cache held");
    }

    void endOfUseDuration_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("recorded");
        QTest::newRow("two hours") << 7200.0 << 7200.0;
        QTest::newRow("two hours and a second") << 7201.0 << 3600.0;
        QTest::newRow("a few seconds and a half") << 5.5 << 5.0;
    }
    void endOfUseDuration() {
        QFETCH(double, seconds);
        QFETCH(double, recorded);
        m_clock.advance(seconds);
        resign();
        const auto body = internal().cache().load();
        QVERIFY(body);
        const auto lists = AnalyticsRecordLists::fromJson(*body, {});
        QCOMPARE(lists.terminates.size(), 1);
        QCOMPARE(lists.terminates.first().duration, recorded);
        activate();
    }

    // A report takes what it was built with; what is logged meanwhile stays
    // for the next.
    void aReportDropsOnlyWhatItCarried() {
        m_uploader->hold = true;
        Analytics::event(QStringLiteral("carried"));
        QVERIFY(m_uploader->entered.tryAcquire(1, 5000));
        Analytics::event(QStringLiteral("meanwhile"));
        m_uploader->hold = false;
        m_uploader->gate.release();
        settle();
        QCOMPARE(eventIds(m_uploader->last()), QStringList{"carried"});
        const AnalyticsRecordLists left = internal().lists();
        QCOMPARE(eventIds(left.events), QStringList{"meanwhile"});
        QVERIFY(!left.events.first().sendingFlag);
        Analytics::event(QStringLiteral("next"));
        settle();
        QCOMPARE(eventIds(m_uploader->last()), (QStringList{"meanwhile", "next"}));
    }

    void aFailedReportKeepsEverything() {
        m_uploader->succeed = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report not sent, records kept"));
        const int before = m_uploader->count();
        Analytics::event(QStringLiteral("refused"));
        settle();
        QCOMPARE(m_uploader->count(), before);
        QCOMPARE(eventIds(internal().lists().events), QStringList{"refused"});
        m_uploader->succeed = true;
        Analytics::event(QStringLiteral("accepted"));
        settle();
        QCOMPARE(eventIds(m_uploader->last()), (QStringList{"refused", "accepted"}));
        QVERIFY(internal().lists().isEmpty());
    }

    // A report that went out is remembered for the daily and interval
    // policies; the online configuration's policy wins over the start value.
    void reportsAreRememberedAndThePolicyCanChange() {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        m_clock.advance(1);
        Analytics::event(QStringLiteral("remembered"));
        settle();
        const double sentAt = m_clock.now() + Clock::kReferenceDateUnixSeconds;
        QCOMPARE(defaults.doubleForKey("lastPostInterval"), sentAt);
        QCOMPARE(defaults.stringForKey("lastPostDate"),
                 QDateTime::fromSecsSinceEpoch(qint64(sentAt)).toString("yyyy-MM-dd"));

        defaults.setInteger(2, "report_policy"); // ends of use only
        const int before = m_uploader->count();
        Analytics::event(QStringLiteral("held"));
        settle();
        QCOMPARE(m_uploader->count(), before);
        defaults.removeObjectForKey("report_policy");
        Analytics::event(QStringLiteral("released"));
        settle();
        QCOMPARE(eventIds(m_uploader->last()), (QStringList{"held", "released"}));
    }

    void noReportWithoutANetwork() {
        AnalyticsNetwork::sharedInstance().setInterfaceLister([] { return QStringList(); });
        const int before = m_uploader->count();
        Analytics::event(QStringLiteral("offline"));
        settle();
        QCOMPARE(m_uploader->count(), before);
        AnalyticsNetwork::sharedInstance().setInterfaceLister(onlyEth0);
        Analytics::event(QStringLiteral("online"));
        settle();
        QCOMPARE(eventIds(m_uploader->last()), (QStringList{"offline", "online"}));
    }

    // With nothing to keep, a save leaves an existing file alone; the next
    // launch reads it and its report carries the records.
    void nothingToKeepLeavesTheFile() {
        QVERIFY(internal().lists().isEmpty());
        UserDefaults::standardUserDefaults().setObject(kVersion, "AnalyticsAppVersion");
        writeCache(oldRecords());
        internal().saveCacheAndClean(true);
        settle();
        QVERIFY(internal().cache().load());
        activate();
        const QJsonObject report = m_uploader->last();
        QCOMPARE(values(report, "launch", "session_id"),
                 (QStringList{"OLD", internal().sessionID()}));
        QCOMPARE(eventIds(report), QStringList{"old"});
        QCOMPARE(values(report, "error", "context"), QStringList{"old crash"});
        QVERIFY(!internal().cache().exists());
    }

    // Cached crash errors belong to the version that crashed.
    void cachedErrorsNeedTheirVersion_data() {
        QTest::addColumn<QString>("crashedVersion");
        QTest::addColumn<bool>("errorsKept");
        QTest::newRow("same") << QStringLiteral("1.0.0") << true;
        QTest::newRow("older") << QStringLiteral("0.9") << false;
        QTest::newRow("none recorded") << QString() << false;
    }
    void cachedErrorsNeedTheirVersion() {
        QFETCH(QString, crashedVersion);
        QFETCH(bool, errorsKept);
        if (crashedVersion.isNull())
            UserDefaults::standardUserDefaults().removeObjectForKey("AnalyticsAppVersion");
        else
            UserDefaults::standardUserDefaults().setObject(crashedVersion, "AnalyticsAppVersion");
        writeCache(oldRecords());
        activate();
        const QJsonObject report = m_uploader->last();
        QCOMPARE(eventIds(report), QStringList{"old"});
        QCOMPARE(values(report, "launch", "session_id").size(), 2);
        QCOMPARE(values(report, "error", "context").size(), errorsKept ? 1 : 0);
    }

    void aDamagedCacheIsDroppedAtLaunch() {
        {
            QFile file(internal().cache().path());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("{\"body\":{\"event\":[{\"id\":\"x\",");
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("analytics cache .* is unreadable"));
        activate();
        const QJsonObject report = m_uploader->last();
        QCOMPARE(values(report, "launch", "session_id"), QStringList{internal().sessionID()});
        QVERIFY(eventIds(report).isEmpty());
        QVERIFY(!internal().cache().exists());
    }

    // A backlog beyond one report goes out in one launch, report after
    // report, each within its bounds, oldest records first and each once.
    // A full cache has made room for the launch by dropping its oldest
    // event, and the first report counts the drop.
    void aFullBacklogDrainsInBoundedReports() {
        const AnalyticsRecordLists cached =
            backlog(int(AnalyticsRecordCache::kMaxRecords), 1'700'000'000);
        writeCache(cached);
        const int before = m_uploader->count();
        QTest::ignoreMessage(QtWarningMsg,
                             "analytics keeps at most 100000 unsent records: the oldest events "
                             "are dropped, and the next report counts them");
        activate();
        QList<QJsonObject> reports;
        QList<qsizetype> sizes;
        {
            std::lock_guard lock(m_uploader->mutex);
            reports = m_uploader->reports.mid(before);
            sizes = m_uploader->sizes.mid(before);
        }
        QVERIFY2(reports.size() > 1, "one report cannot carry it all");
        QStringList sent;
        QList<double> times;
        for (int i = 0; i < reports.size(); ++i) {
            const QJsonObject& report = reports.at(i);
            QVERIFY(sizes.at(i) <= AnalyticsReportBuilder::kMaxBytes);
            const QStringList eventsIn = values(report, "event", "id");
            QVERIFY(eventsIn.size() + values(report, "launch", "id").size() <=
                    AnalyticsReportBuilder::kMaxRecords);
            sent += eventsIn;
            for (const QString& ts : values(report, "event", "ts"))
                times.append(ts.toDouble());
            const QJsonValue dropped = report.value("header").toObject().value("dropped_records");
            QCOMPARE(dropped.toInt(), i == 0 ? 1 : 0);
        }
        QVERIFY(std::is_sorted(times.begin(), times.end()));
        QCOMPARE(sent, ids(cached.events).mid(1));
        QCOMPARE(values(reports.last(), "launch", "session_id"),
                 QStringList{internal().sessionID()});
        QVERIFY(internal().lists().isEmpty());
        QVERIFY(!internal().cache().exists());
    }

    // A refused report ends the run: what went before it is gone from
    // memory and the cache, the rest waits for the next report.
    void aRefusedReportStopsTheDrain() {
        const AnalyticsRecordLists cached =
            backlog(int(AnalyticsReportBuilder::kMaxRecords) * 2 + 10, 1'710'000'000);
        writeCache(cached);
        m_uploader->acceptMore = 1;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report not sent, records kept"));
        activate();
        const QStringList first = values(m_uploader->last(), "event", "id");
        QCOMPARE(first, ids(cached.events).first(first.size()));
        const QStringList left = ids(internal().lists().events);
        QCOMPARE(left, ids(cached.events).mid(first.size()));
        const auto body = internal().cache().load();
        QVERIFY(body);
        QCOMPARE(ids(AnalyticsRecordLists::fromJson(*body, {}).events), left);

        m_uploader->acceptMore = -1;
        const int before = m_uploader->count();
        Analytics::event(QStringLiteral("after the refusal"));
        settle();
        QStringList rest;
        for (int i = before; i < m_uploader->count(); ++i) {
            std::lock_guard lock(m_uploader->mutex);
            rest += values(m_uploader->reports.at(i), "event", "id");
        }
        QCOMPARE(rest.mid(0, left.size()), left);
        QCOMPARE(rest.size(), left.size() + 1);
        QVERIFY(internal().lists().isEmpty());
    }

    // A quit after the resignation ends no second use, and writes nothing
    // over what the resignation saved.
    void quittingKeepsWhatTheResignationSaved() {
        Analytics::event(QStringLiteral("last"));
        settle();
        m_uploader->succeed = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report not sent, records kept"));
        Analytics::event(QStringLiteral("unsent"));
        settle();
        resign();
        post(ApplicationNotifications::willTerminate());
        settle();
        const auto lists = AnalyticsRecordLists::fromJson(*internal().cache().load(), {});
        QCOMPARE(eventIds(lists.events), QStringList{"unsent"});
        QCOMPARE(lists.terminates.size(), 1);
        QVERIFY(AnalyticsSession::sharedInstance().appBeKilling());
        m_uploader->succeed = true;
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsSession)
#include "tst_analyticssession.moc"
