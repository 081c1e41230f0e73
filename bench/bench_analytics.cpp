// The analytics service's costs: what logging one event takes on the main
// thread, how long a cache of 10,000 records takes to save and to load, and
// what a launch that finds a full cache (100,000 records) takes to drain it
// into the content server's collector.
#include "analytics/analytics.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticsjob.h"
#include "analytics/analyticsnetwork.h"
#include "analytics/records/analyticsrecordcache.h"
#include "analytics/report/analyticsuploader.h"
#include "analytics/report/httpreportuploader.h"
#include "benchoutput.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"
#include "samplestats.h"
#include "server/contentserver.h"
#include "support/scopedanalyticsservice.h"
#include "support/server/storedreports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
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

// Counts the reports that pass through, to the collector or nowhere.
class CountingUploader : public AnalyticsUploader {
public:
    explicit CountingUploader(std::shared_ptr<AnalyticsUploader> next) : m_next(std::move(next)) {}
    bool send(const QByteArray& json, QString* error) override {
        bytes += json.size();
        ++reports;
        return m_next->send(json, error);
    }
    std::atomic<int> reports{0};
    std::atomic<qint64> bytes{0};

private:
    std::shared_ptr<AnalyticsUploader> m_next;
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

    AnalyticsNetwork::sharedInstance().setInterfaceLister([] { return QStringList(); });
    const SampleStats offline =
        timeEach(kEvents, [](int i) { Analytics::event(QStringLiteral("blow_%1").arg(i)); });
    AnalyticsInternal::sharedInstance().waitForDone(-1);
    benchPrint("event_offline_median_us", offline.median(),
               "no network: the queued decision sends nothing");

    AnalyticsNetwork::sharedInstance().setInterfaceLister({});
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
        timeEach(kSpacedEvents, [](int) { AnalyticsNetwork::sharedInstance().accessString(); });
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

// A "Vm...:" figure of this process, in MiB: "VmRSS" resident now, "VmHWM"
// the peak since the last reset.
double memoryMib(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toDouble() /
                   1024.0;
    return 0;
}

void resetPeakRss() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Drain {
    double ms = 0;
    int reports = 0;
    qint64 bytes = 0;
    double startMib = 0;
    double peakMib = 0;
};

// A launch that finds `count` events in the cache, until its reports end.
Drain drain(const std::shared_ptr<AnalyticsUploader>& to, int count) {
    AnalyticsInternal& internal = AnalyticsInternal::sharedInstance();
    internal.waitForDone(-1);
    if (!internal.cache().save(records(count).toJson()))
        qFatal("cannot write the cache");
    auto counting = std::make_shared<CountingUploader>(to);
    internal.setUploader(counting);
    resetPeakRss();
    const double startMib = memoryMib("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    NotificationCenter::defaultCenter().postNotificationName(
        ApplicationNotifications::didBecomeActive(), nullptr);
    internal.waitForDone(-1);
    Drain result{double(timer.nsecsElapsed()) / 1e6, counting->reports, counting->bytes, startMib,
                 memoryMib("VmHWM:")};
    if (!internal.lists().isEmpty() || internal.cache().exists())
        qFatal("the backlog did not drain");
    internal.setUploader(std::make_shared<DiscardingUploader>());
    return result;
}

void benchDrain() {
    constexpr int kBacklog = int(AnalyticsRecordCache::kMaxRecords) - 1; // and the launch
    // Baseline: the same launch with reports that go nowhere; what is left
    // of the full run is compression, HTTP and the collector.
    const Drain local = drain(std::make_shared<DiscardingUploader>(), kBacklog);

    QTemporaryDir data;
    ContentServer server;
    server.setDataFolder(data.path());
    if (!server.start())
        qFatal("the content server would not start");
    const QUrl url(server.baseUrl() + QStringLiteral("/analytics/report"));
    const Drain full = drain(std::make_shared<HttpReportUploader>([url] { return url; }), kBacklog);
    if (StoredReports(server).recordIds().size() != kBacklog + 1)
        qFatal("the collector kept %lld records",
               qlonglong(StoredReports(server).recordIds().size()));
    server.stop();

    benchPrint("drain_records", kBacklog + 1, "cached events and the launch");
    benchPrint("drain_reports", full.reports);
    benchPrint("drain_mean_report_kib", double(full.bytes) / full.reports / 1024.0, "inflated");
    benchPrint("drain_ms", full.ms, "load, reports to the collector, cache removed");
    benchPrint("drain_ms_per_report", full.ms / full.reports);
    benchPrint("drain_records_per_s", (kBacklog + 1) / (full.ms / 1000.0));
    benchPrint("drain_rss_growth_mib", full.peakMib - full.startMib,
               "peak over what was resident at the launch");
    benchPrint("drain_baseline_ms", local.ms, "the same, reports discarded");
    benchPrint("drain_baseline_rss_growth_mib", local.peakMib - local.startMib);
    benchPrint("drain_vs_baseline", full.ms / local.ms);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    // A cache of its own, so that no record of an earlier run is drained.
    QTemporaryDir caches;
    AnalyticsService::Dependencies dependencies;
    dependencies.cachesFolder = caches.path();
    dependencies.uploader = std::make_shared<DiscardingUploader>();
    ScopedAnalyticsService analytics(dependencies);
    startService();
    benchEvent();
    benchCache();
    benchDrain();
    Analytics::finish(5000);
    return 0;
}
