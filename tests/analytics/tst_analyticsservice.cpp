// Analytics services as objects: two built side by side keep their records,
// reports and cache files apart; the facade and the parts' shared instances
// follow whichever service is installed; and with none installed the facade
// says so and still works.
#include "analytics/analytics.h"
#include "analytics/analyticsservice.h"
#include "analytics/report/analyticsuploader.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"
#include "support/fakeclock.h"
#include "support/fixedrandom.h"
#include "support/scopedanalyticsservice.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

namespace {

class RecordingUploader : public AnalyticsUploader {
public:
    bool send(const QByteArray& json, QString*) override {
        std::lock_guard lock(mutex);
        reports.append(json);
        return true;
    }
    qsizetype count() {
        std::lock_guard lock(mutex);
        return reports.size();
    }
    QByteArray last() {
        std::lock_guard lock(mutex);
        return reports.isEmpty() ? QByteArray() : reports.last();
    }

    std::mutex mutex;
    QList<QByteArray> reports;
};

QStringList eventIds(const QList<EventRecord>& events) {
    QStringList out;
    for (const EventRecord& e : events)
        out.append(e.event_id);
    return out;
}

QStringList sessionIds(const QList<LaunchRecord>& launches) {
    QStringList out;
    for (const LaunchRecord& l : launches)
        out.append(l.session_id);
    return out;
}

void post(const QString& name) {
    NotificationCenter::defaultCenter().postNotificationName(name, nullptr);
}

} // namespace

class TestAnalyticsService : public QObject {
    Q_OBJECT

    FakeClock m_clock{1'800'000'000.0 - Clock::kReferenceDateUnixSeconds};

    // A service for a test: its own caches folder and reports, no crash
    // handlers in this process, online or not.
    struct Built {
        QTemporaryDir caches;
        std::shared_ptr<RecordingUploader> uploader = std::make_shared<RecordingUploader>();
        std::unique_ptr<AnalyticsService> service;
    };

    AnalyticsService::Dependencies dependencies(const QTemporaryDir& caches,
                                                std::shared_ptr<AnalyticsUploader> uploader,
                                                bool online) {
        AnalyticsService::Dependencies built;
        built.clock = &m_clock;
        built.cachesFolder = caches.path();
        built.uploader = std::move(uploader);
        built.interfaces = [online] {
            return online ? QStringList{QStringLiteral("eth0")} : QStringList();
        };
        built.crash = nullptr;
        return built;
    }

    std::unique_ptr<Built> build(bool online) {
        auto built = std::make_unique<Built>();
        built->service = std::make_unique<AnalyticsService>(
            dependencies(built->caches, built->uploader, online));
        return built;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The first session's identifier is drawn while the service is built,
    // before the start names the key; a key given at build is hashed into
    // it, as into every later one.
    void theFirstSessionIdHashesTheKeyGivenAtBuild() {
        QTemporaryDir caches;
        FixedRandom random(77);
        AnalyticsService::Dependencies given = dependencies(caches, nullptr, false);
        given.random = &random;
        given.appKey = QStringLiteral("7c0e91d2ab4f3e6058d1c2b7");
        AnalyticsService service(given);
        const double now = m_clock.now() + Clock::kReferenceDateUnixSeconds;
        QCOMPARE(service.internal().sessionID(),
                 AnalyticsInternal::makeSessionId(now, given.appKey, 77, 77));
        QVERIFY(service.internal().sessionID() !=
                AnalyticsInternal::makeSessionId(now, QString(), 77, 77));
    }

    // Both hear the same activation and each keeps its own: one reports its
    // launch and event, the other, offline, keeps its launch to itself and
    // writes it to a cache file of its own.
    void twoServicesSideBySideShareNothing() {
        const auto online = build(true);
        const auto offline = build(false);
        AnalyticsService& a = *online->service;
        AnalyticsService& b = *offline->service;
        a.session().startWithAppkey(QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaa"), 0, QString());
        b.session().startWithAppkey(QStringLiteral("bbbbbbbbbbbbbbbbbbbbbbbb"), 0, QString());
        post(ApplicationNotifications::didBecomeActive());
        QVERIFY(a.internal().waitForDone(10000));
        QVERIFY(b.internal().waitForDone(10000));
        QVERIFY(a.internal().sessionID() != b.internal().sessionID());

        a.eventLog().eventJob(QStringLiteral("only in a"), QString(), 1, 0);
        QVERIFY(a.internal().waitForDone(10000));
        QCOMPARE(online->uploader->count(), 2);
        QVERIFY(online->uploader->last().contains("only in a"));
        QCOMPARE(offline->uploader->count(), 0);
        QCOMPARE(b.eventLog().acceptedEvents(), QStringList());
        const AnalyticsRecordLists kept = b.internal().lists();
        QVERIFY(kept.events.isEmpty());
        QCOMPARE(sessionIds(kept.launches), QStringList{b.internal().sessionID()});

        post(ApplicationNotifications::willResignActive());
        QVERIFY(a.internal().waitForDone(10000));
        QVERIFY(b.internal().waitForDone(10000));
        QVERIFY(a.internal().cache().path().startsWith(online->caches.path()));
        QVERIFY(b.internal().cache().path().startsWith(offline->caches.path()));
        const auto aFile = a.internal().cache().load();
        const auto bFile = b.internal().cache().load();
        QVERIFY(aFile && bFile);
        const AnalyticsRecordLists aCached = AnalyticsRecordLists::fromJson(*aFile, {});
        const AnalyticsRecordLists bCached = AnalyticsRecordLists::fromJson(*bFile, {});
        QVERIFY2(aCached.launches.isEmpty(), "a's launch went out with its report");
        QCOMPARE(aCached.terminates.size(), 1);
        QCOMPARE(aCached.terminates.first().session_id, a.internal().sessionID());
        QCOMPARE(sessionIds(bCached.launches), QStringList{b.internal().sessionID()});
        QCOMPARE(bCached.terminates.size(), 1);
        QVERIFY(bCached.events.isEmpty());
    }

    // The facade and every part's shared instance are those of the service
    // installed last; when it goes, the one before is back as it was.
    void theFacadeFollowsTheInstalledService() {
        QTemporaryDir outerCaches;
        QTemporaryDir innerCaches;
        AnalyticsService* const before = AnalyticsService::installed();
        {
            ScopedAnalyticsService outer(
                dependencies(outerCaches, std::make_shared<RecordingUploader>(), false));
            Analytics::setAppVersion(QStringLiteral("1.0"));
            Analytics::event(QStringLiteral("outer"));
            {
                ScopedAnalyticsService inner(
                    dependencies(innerCaches, std::make_shared<RecordingUploader>(), false));
                QCOMPARE(&AnalyticsService::sharedInstance(), &*inner);
                QCOMPARE(&AnalyticsInternal::sharedInstance(), &inner->internal());
                QCOMPARE(&AnalyticsSession::sharedInstance(), &inner->session());
                QCOMPARE(&AnalyticsJob::sharedInstance(), &inner->job());
                QCOMPARE(&AnalyticsNetwork::sharedInstance(), &inner->network());
                Analytics::setAppVersion(QStringLiteral("2.0"));
                Analytics::event(QStringLiteral("inner"));
                QCOMPARE(inner->eventLog().acceptedEvents(), QStringList{"inner"});
                QCOMPARE(eventIds(inner->internal().tmpContainer().events), QStringList{"inner"});
                QCOMPARE(outer->eventLog().acceptedEvents(), QStringList{"outer"});
            }
            QCOMPARE(AnalyticsService::installed(), &*outer);
            QCOMPARE(Analytics::acceptedEvents(), QStringList{"outer"});
            QCOMPARE(Analytics::appVersion(), QStringLiteral("1.0"));
        }
        QCOMPARE(AnalyticsService::installed(), before);
    }

    // The application's service is owned by its launcher: when that goes,
    // so does the installation, and no caller reaches a service that is gone.
    void aServiceThatEndsIsNoLongerInstalled() {
        QTemporaryDir caches;
        AnalyticsService* const before = AnalyticsService::installed();
        {
            QObject owner;
            auto* service = new AnalyticsService(
                dependencies(caches, std::make_shared<RecordingUploader>(), false), &owner);
            AnalyticsService::install(service);
            service->session().startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0,
                                               QString());
            QCOMPARE(AnalyticsService::installed(), service);
        }
        QCOMPARE(AnalyticsService::installed(), nullptr);
        AnalyticsService::install(before);
    }

    // A caller that never installed a service (a screen tested on its own)
    // is told, and its events are kept all the same.
    void withNoServiceInstalledTheFacadeSaysSo() {
        AnalyticsService* const before = AnalyticsService::install(nullptr);
        QTest::ignoreMessage(QtWarningMsg, "analytics service not installed: calls go to a default "
                                           "one built for this process");
        Analytics::event(QStringLiteral("unowned"));
        QVERIFY(Analytics::acceptedEvents().contains(QStringLiteral("unowned")));
        QVERIFY(!Analytics::isStarted());
        QCOMPARE(AnalyticsService::installed(), nullptr);
        AnalyticsService::install(before);
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsService)
#include "tst_analyticsservice.moc"
