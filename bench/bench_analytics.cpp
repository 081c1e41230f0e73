// The analytics service's costs: what logging one event takes on the main
// thread, and how long a cache of 10,000 records takes to save and to load.
#include "analytics.h"
#include "analyticsinternal.h"
#include "analyticsjob.h"
#include "analyticsnetwork.h"
#include "analyticsrecordcache.h"
#include "analyticsuploader.h"
#include "applicationnotifications.h"
#include "benchoutput.h"
#include "notificationcenter.h"
#include "samplestats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <mutex>

namespace {

constexpr double kFrameUs = 16'700.0;
constexpr int kEvents = 2000;
constexpr int kSpacedEvents = 300;
constexpr int kCacheRecords = 10'000;
constexpr int kRepeats = 7;

// The report itself is off the main thread and not what is measured here.
class DiscardingUploader : public AnalyticsUploader {
public:
    bool send(const QByteArray&, QString*) override { return true; }
};

template <typename F> SampleStats timeEach(int count, F&& f) {
    std::vector<double> us;
    us.reserve(size_t(count));
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        timer.start();
        f(i);
        us.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    return SampleStats(std::move(us));
}

void startService() {
    AnalyticsInternal::sharedInstance().setUploader(std::make_shared<DiscardingUploader>());
    Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
    NotificationCenter::defaultCenter().postNotificationName(
        ApplicationNotifications::didBecomeActive(), nullptr);
    AnalyticsInternal::sharedInstance().waitForDone(-1);
}

void benchEvent() {
    // Baseline: what a bare event log costs, a string appended under a lock.
    std::mutex mutex;
    QStringList kept;
    const SampleStats baseline = timeEach(kEvents, [&](int i) {
        std::lock_guard lock(mutex);
        kept.append(QStringLiteral("blow_%1").arg(i));
    });
    benchPrint("event_baseline_median_us", baseline.median(), "append under a lock");

    AnalyticsNetwork::setInterfaceLister([] { return QStringList(); });
    const SampleStats offline =
        timeEach(kEvents, [](int i) { Analytics::event(QStringLiteral("blow_%1").arg(i)); });
    AnalyticsInternal::sharedInstance().waitForDone(-1);
    benchPrint("event_offline_median_us", offline.median(),
               "no network: the queued decision sends nothing");

    AnalyticsNetwork::setInterfaceLister({});
    const SampleStats burst =
        timeEach(kEvents, [](int i) { Analytics::event(QStringLiteral("blow_%1").arg(i)); });
    AnalyticsInternal::sharedInstance().waitForDone(-1);
    benchPrint("event_burst_median_us", burst.median(), "a report under way: none decided");

    // As the screens log them, seconds apart: each event finds no report
    // under way and queues the decision.
    std::vector<double> us;
    QElapsedTimer timer;
    for (int i = 0; i < kSpacedEvents; ++i) {
        timer.start();
        Analytics::event(QStringLiteral("blow_%1").arg(i));
        us.push_back(double(timer.nsecsElapsed()) / 1000.0);
        // Not waitForDone(): it also ends the queue's thread, which a real
        // gap of seconds between events would not.
        while (AnalyticsJob::sharedInstance().isRunning())
            QThread::usleep(100);
    }
    const SampleStats spaced(std::move(us));
    const SampleStats network =
        timeEach(kSpacedEvents, [](int) { AnalyticsNetwork::accessString(); });
    benchPrint("event_network_check_median_us", network.median(),
               "part of each decision, on the queue");
    benchPrint("event_median_us", spaced.median(), "recorded and a decision queued");
    benchPrint("event_p99_us", spaced.percentile(99));
    benchPrint("event_share_of_frame_pct", 100.0 * spaced.median() / kFrameUs, "of 16.7 ms");
    benchPrint("event_vs_baseline", spaced.median() / baseline.median());
}

AnalyticsRecordLists records(int count) {
    AnalyticsRecordLists lists;
    for (int i = 0; i < count; ++i) {
        EventRecord event;
        event.stamp(QStringLiteral("event"), QStringLiteral("0123456789ABCDEF0123456789ABCDEF"),
                    1'765'000'000.0 + i);
        event.event_id = i % 2 ? QStringLiteral("blow_amount") : QStringLiteral("haze_share");
        lists.events.append(event);
    }
    return lists;
}

void benchCache() {
    QTemporaryDir dir;
    const AnalyticsRecordCache cache(dir.filePath(QStringLiteral("cache.plist")));
    const AnalyticsRecordLists lists = records(kCacheRecords);
    QElapsedTimer timer;
    std::vector<double> save, load, rawWrite, rawRead;
    qint64 bytes = 0;
    for (int r = 0; r < kRepeats; ++r) {
        timer.start();
        cache.save(lists.toJson());
        save.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.start();
        const auto body = cache.load();
        const auto read = AnalyticsRecordLists::fromJson(*body, {});
        load.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (read.size() != kCacheRecords)
            qFatal("the cache came back with %lld records", qlonglong(read.size()));

        // Baseline: the same bytes written and read as one plain file.
        QFile file(cache.path());
        file.open(QIODevice::ReadOnly);
        timer.start();
        const QByteArray data = file.readAll();
        rawRead.push_back(double(timer.nsecsElapsed()) / 1e6);
        file.close();
        bytes = data.size();
        QFile copy(dir.filePath(QStringLiteral("copy")));
        timer.start();
        copy.open(QIODevice::WriteOnly | QIODevice::Truncate);
        copy.write(data);
        copy.close();
        rawWrite.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    benchPrint("cache_records", kCacheRecords);
    benchPrint("cache_file_kib", double(bytes) / 1024.0);
    const double saveMs = SampleStats(save).median();
    const double loadMs = SampleStats(load).median();
    benchPrint("cache_save_median_ms", saveMs, "encode, write, flush to disk, rename");
    benchPrint("cache_load_median_ms", loadMs, "read, decode, rebuild records");
    benchPrint("cache_raw_write_median_ms", SampleStats(rawWrite).median(), "baseline");
    benchPrint("cache_raw_read_median_ms", SampleStats(rawRead).median(), "baseline");
    benchPrint("cache_save_vs_raw_write", saveMs / SampleStats(rawWrite).median());
    benchPrint("cache_load_vs_raw_read", loadMs / SampleStats(rawRead).median());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    startService();
    benchEvent();
    benchCache();
    Analytics::finish(5000);
    return 0;
}
