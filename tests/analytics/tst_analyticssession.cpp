// The analytics service through one application life in virtual time:
// sessions that follow activation, events and their checks, the send
// decision under policy 0, what a report carries and what it leaves, and the
// record cache between uses.
#include "analytics.h"
#include "analyticsinternal.h"
#include "analyticsnetwork.h"
#include "analyticssession.h"
#include "analyticsuploader.h"
#include "applicationnotifications.h"
#include "fakeclock.h"
#include "notificationcenter.h"
#include "userdefaults.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTest>
#include <mutex>

namespace {

// Keeps every report it is given; can refuse them, or hold one until told.
class RecordingUploader : public AnalyticsUploader {
public:
    bool send(const QByteArray& json, QString* error) override {
        if (hold) {
            entered.release();
            gate.acquire();
        }
        std::lock_guard lock(mutex);
        if (!succeed) {
            *error = QStringLiteral("refused by the test");
            return false;
        }
        reports.append(QJsonDocument::fromJson(json).object());
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
    std::atomic<bool> succeed{true};
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

const QString kVersion = QStringLiteral("1.0.0");

} // namespace

class TestAnalyticsSession : public QObject {
    Q_OBJECT

    FakeClock m_clock{1'800'000'000.0 - Clock::kReferenceDateUnixSeconds};
    std::shared_ptr<RecordingUploader> m_uploader = std::make_shared<RecordingUploader>();

    AnalyticsInternal& internal() { return AnalyticsInternal::sharedInstance(); }
    void settle() { QVERIFY(internal().waitForDone(10000)); }

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
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        for (const char* key : {"report_policy", "analytics_report_interval", "lastPostDate",
                                "lastPostInterval", "AnalyticsAppVersion"})
            defaults.removeObjectForKey(QLatin1String(key));
        Clock::setShared(&m_clock);
        AnalyticsNetwork::setInterfaceLister([] { return QStringList{QStringLiteral("eth0")}; });
        internal().setUploader(m_uploader);
        internal().cache().remove();
        Analytics::setAppVersion(kVersion);
    }

    void cleanupTestCase() {
        settle();
        Analytics::finish(1000);
        Clock::setShared(nullptr);
        AnalyticsNetwork::setInterfaceLister({});
    }

    // Before the first session, an event waits in the temporary list and
    // goes out with the first launch, once.
    void anEarlyEventGoesOutWithTheFirstLaunch() {
        Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
        Analytics::event(QStringLiteral("early"));
        QCOMPARE(eventIds(internal().tmpContainer().events), QStringList{"early"});
        QVERIFY(!AnalyticsSession::sharedInstance().launchHasBegan());
        // Nothing activates this application: the first launch comes 1.0 s
        // after the start.
        QTRY_VERIFY_WITH_TIMEOUT(AnalyticsSession::sharedInstance().launchHasBegan(), 3000);
        settle();
        QCOMPARE(m_uploader->count(), 1);
        const QJsonObject report = m_uploader->last();
        QCOMPARE(eventIds(report), QStringList{"early"});
        QCOMPARE(values(report, "launch", "type"), QStringList{"launch"});
        QCOMPARE(report.value("header").toObject().value("app_version").toString(), kVersion);
        QVERIFY(internal().tmpContainer().isEmpty());
        QVERIFY2(internal().lists().isEmpty(), "what a report carried is dropped");
        const QString id = internal().sessionID();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(id).hasMatch());
        QCOMPARE(values(report, "launch", "session_id"), QStringList{id});
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
        AnalyticsNetwork::setInterfaceLister([] { return QStringList(); });
        const int before = m_uploader->count();
        Analytics::event(QStringLiteral("offline"));
        settle();
        QCOMPARE(m_uploader->count(), before);
        AnalyticsNetwork::setInterfaceLister([] { return QStringList{QStringLiteral("eth0")}; });
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
