#include "analytics/analyticsinternal.h"

#include "analytics/analyticsservice.h"
#include "analytics/crash/analyticscrash.h"
#include "analytics/records/analyticslog.h"
#include "analytics/report/analyticsreportbuilder.h"
#include "analytics/report/analyticsuploader.h"
#include "analytics/report/httpreportuploader.h"
#include "platform/system/bundle.h"
#include "platform/system/random.h"
#include "platform/system/userdefaults.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QSet>
#include <cmath>

namespace {

const QString kAppVersionKey = QStringLiteral("AnalyticsAppVersion");

template <typename Record>
void appendNew(QList<Record>& into, const QList<Record>& from, QSet<QString>& known) {
    for (const Record& record : from)
        if (!known.contains(record.id)) {
            known.insert(record.id);
            into.append(record);
        }
}

QSet<QString> recordIds(const AnalyticsRecordLists& lists) {
    QSet<QString> ids;
    auto add = [&ids](const auto& list) {
        for (const auto& record : list)
            ids.insert(record.id);
    };
    add(lists.launches);
    add(lists.terminates);
    add(lists.events);
    add(lists.errors);
    add(lists.ekv);
    add(lists.dropped);
    return ids;
}

// The cache is read at every launch, and a report can fail, so records come
// back that memory may hold already; each is kept once.
void mergeNew(AnalyticsRecordLists& into, const AnalyticsRecordLists& from) {
    QSet<QString> known = recordIds(into);
    appendNew(into.launches, from.launches, known);
    appendNew(into.terminates, from.terminates, known);
    appendNew(into.events, from.events, known);
    appendNew(into.errors, from.errors, known);
    appendNew(into.ekv, from.ekv, known);
    appendNew(into.dropped, from.dropped, known);
}

} // namespace

AnalyticsInternal& AnalyticsInternal::sharedInstance() {
    return AnalyticsService::sharedInstance().internal();
}

AnalyticsInternal::AnalyticsInternal(AnalyticsService& service,
                                     std::shared_ptr<AnalyticsUploader> uploader)
    : m_service(service), m_uploader(std::move(uploader)) {
    if (!m_uploader)
        m_uploader = std::make_shared<HttpReportUploader>(
            [&app = service.app()] { return app.reportUrl(); });
    m_queue.setMaxThreadCount(1);
    m_queue.setObjectName(QStringLiteral("analytics"));
    m_sessionID = newSessionId();
    service.job().setPerformer([this](auto work) { enqueue(std::move(work)); },
                               [this] { commitReport(); });
}

AnalyticsInternal::~AnalyticsInternal() {
    m_queue.waitForDone();
}

double AnalyticsInternal::now() const {
    return m_service.now();
}

QString AnalyticsInternal::newSessionId() const {
    Random& random = m_service.random();
    return makeSessionId(now(), m_service.app().appKey(), random.next(), random.next());
}

QString AnalyticsInternal::makeSessionId(double unixNow, const QString& appKey, quint32 first,
                                         quint32 second) {
    const QString text = QString::asprintf("%f", unixNow) + appKey +
                         QString::number(first % 4294967295u) +
                         QString::number(second % 4294967295u);
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}

QString AnalyticsInternal::sessionID() const {
    std::lock_guard lock(m_mutex);
    return m_sessionID;
}

AnalyticsRecordLists AnalyticsInternal::lists() const {
    std::lock_guard lock(m_mutex);
    return m_lists;
}

AnalyticsRecordLists AnalyticsInternal::tmpContainer() const {
    std::lock_guard lock(m_mutex);
    return m_tmpContainer;
}

AnalyticsRecordCache AnalyticsInternal::cache() const {
    return AnalyticsRecordCache(m_service.cachesFolder() + QLatin1Char('/') +
                                AnalyticsRecordCache::fileName(Bundle::bundleIdentifier()));
}

bool AnalyticsInternal::hasJob() const {
    std::lock_guard lock(m_mutex);
    return !m_lists.isEmpty();
}

void AnalyticsInternal::enqueue(std::function<void()> work) {
    m_queue.start(std::move(work));
}

bool AnalyticsInternal::waitForDone(int msecs) {
    return m_queue.waitForDone(msecs);
}

void AnalyticsInternal::setUploader(std::shared_ptr<AnalyticsUploader> uploader) {
    std::lock_guard lock(m_mutex);
    m_uploader = std::move(uploader);
}

// ---- launch

// The session's identifier and start are fixed here, on the main thread, so
// that an end of use right after the activation already belongs to the new
// session and measures from its start.
void AnalyticsInternal::appLaunch() {
    LaunchRecord record;
    {
        std::lock_guard lock(m_mutex);
        if (m_launchStarted)
            m_sessionID = newSessionId();
        m_launchStarted = true;
        m_lastLaunchTime = now();
        record.stamp(QStringLiteral("launch"), m_sessionID, m_lastLaunchTime);
    }
    enqueue([this, record] { launchWork(record); });
}

void AnalyticsInternal::launchWork(const LaunchRecord& launch) {
    {
        // An event logged in the foreground before the first launch is in
        // both lists already; it is kept once.
        std::lock_guard lock(m_mutex);
        mergeNew(m_lists, m_tmpContainer);
        m_tmpContainer.clear();
    }
    loadCache();
    collectCrashReports();
    {
        std::lock_guard lock(m_mutex);
        m_lists.launches.append(launch);
        m_lists.sortByTime();
        keepWithinBound(m_lists);
    }
    m_service.session().setLaunchHasBegan(true);
    m_service.job().preparePerformJob(AnalyticsJob::Launch);
}

// The file stays where it is until a report has carried its records or a
// later save replaces it: deleting it on reading would lose its records to a
// process killed before either happens.
void AnalyticsInternal::loadCache() {
    const std::optional<QJsonObject> body = cache().load();
    if (!body)
        return;
    AnalyticsRecordLists::ReadOptions options;
    const QVariant crashedVersion = m_service.defaults().objectForKey(kAppVersionKey);
    options.loadErrors =
        crashedVersion.isValid() &&
        crashedVersion.toString().compare(m_service.app().appVersion(), Qt::CaseInsensitive) == 0;
    QStringList skipped;
    const AnalyticsRecordLists read = AnalyticsRecordLists::fromJson(*body, options, &skipped);
    if (!skipped.isEmpty())
        qCWarning(lcAnalytics).noquote()
            << "analytics cache: unreadable lists skipped:" << skipped.join(QLatin1String(", "));
    std::lock_guard lock(m_mutex);
    if (!crashedVersion.isValid())
        m_lists.errors.clear();
    mergeNew(m_lists, read);
}

void AnalyticsInternal::collectCrashReports() {
    if (m_crashReportsCollected)
        return;
    m_crashReportsCollected = true;
    const auto reports = AnalyticsCrash::takePendingReports(m_service.cachesFolder(),
                                                            QCoreApplication::applicationPid());
    UserDefaults& defaults = m_service.defaults();
    for (const AnalyticsCrash::Report& report : reports) {
        // Errors kept in the cache are only read back by the version that
        // crashed.
        defaults.setObject(report.appVersion, kAppVersionKey);
        defaults.synchronize();
        error(report.crashText, report.imageInfo);
    }
}

// ---- end of use

void AnalyticsInternal::appTerminate() {
    {
        std::lock_guard lock(m_mutex);
        TerminateRecord record;
        record.stamp(QStringLiteral("terminate"), m_sessionID, now());
        const double elapsed = std::floor(record.ts - m_lastLaunchTime);
        // A use that seems longer than two hours is one whose launch was
        // missed (a device asleep in the foreground); it counts as one hour.
        record.duration = elapsed < kMaxDurationSeconds ? elapsed : kDurationCap;
        m_lists.terminates.append(record);
    }
    m_service.job().preparePerformJob(AnalyticsJob::Terminate);
    // Written even when a quit ends this use: a use that ends, ends in the
    // foreground, and nothing else would keep its records.
    queueSave(true, false);
}

// ---- events and errors

void AnalyticsInternal::recordEvent(EventRecord record) {
    const AnalyticsSession& session = m_service.session();
    const bool background = session.appInBackGround();
    {
        std::lock_guard lock(m_mutex);
        record.stamp(QStringLiteral("event"), m_sessionID, now());
        if (!background) {
            m_lists.events.append(record);
            keepWithinBound(m_lists);
        }
        if (background || !session.launchHasBegan()) {
            m_tmpContainer.events.append(record);
            keepWithinBound(m_tmpContainer);
        }
    }
    if (!background)
        m_service.job().preparePerformJob(AnalyticsJob::Event);
}

QString AnalyticsInternal::errorContext(const QString& crashText, const QVariantMap& info) {
    auto value = [&info](const char* key) { return info.value(QLatin1String(key)).toString(); };
    return QStringLiteral("%1\n\ndSYM UUID: %2\nCPU Type: %3\nSlide Address: %4\nBinary "
                          "Image: %5\nBase Address: %6\n")
        .arg(crashText, value("binary_uuid"), value("cpu_arch"), value("slide_address"),
             value("image_name"), value("image_base_address"));
}

void AnalyticsInternal::error(const QString& crashText, const QVariantMap& imageInfo) {
    if (crashText.isNull())
        return;
    if (imageInfo.isEmpty()) {
        qCWarning(lcAnalytics) << "Read binary image info failed!";
        return;
    }
    ErrorRecord record;
    record.context = errorContext(crashText, imageInfo);
    qCWarning(lcAnalytics).noquote() << record.context;
    std::lock_guard lock(m_mutex);
    record.stamp(QStringLiteral("error"), m_sessionID, now());
    m_lists.errors.append(record);
}

// ---- reports

AnalyticsReportBuilder::Report AnalyticsInternal::buildReport() {
    AnalyticsApp& app = m_service.app();
    QJsonObject header{{QStringLiteral("appkey"), app.appKey()},
                       {QStringLiteral("app_version"), app.appVersion()},
                       {QStringLiteral("channel"), app.channel()},
                       {QStringLiteral("access"), m_service.network().accessString()}};
    std::lock_guard lock(m_mutex);
    header.insert(QStringLiteral("session_id"), m_sessionID);
    return AnalyticsReportBuilder::build(m_lists, header);
}

// A backlog goes out report after report, oldest records first, for as long
// as the collector takes them; a refused report ends the run and keeps what
// is left for the next one.
void AnalyticsInternal::commitReport() {
    std::shared_ptr<AnalyticsUploader> uploader;
    {
        std::lock_guard lock(m_mutex);
        uploader = m_uploader;
    }
    int sent = 0;
    for (bool more = true; more;) {
        const AnalyticsReportBuilder::Report report = buildReport();
        if (report.json.isEmpty())
            break;
        QString why;
        if (!uploader || !uploader->send(report.json, &why)) {
            // Every record stays, marked or not, and goes with the next report.
            qCWarning(lcAnalytics).noquote() << "analytics report not sent, records kept:" << why;
            break;
        }
        if (m_service.app().logEnabled())
            qCInfo(lcAnalytics) << "analytics report sent," << report.records << "records,"
                                << report.json.size() << "bytes";
        {
            std::lock_guard lock(m_mutex);
            m_lists.removeMarkedRecords();
        }
        ++sent;
        // A quit stops the run, so that its save does not wait for it.
        more = report.more && !m_service.session().appBeKilling();
    }
    if (sent > 0)
        markJobDone();
    m_service.job().finish();
}

void AnalyticsInternal::markJobDone() {
    const double sentAt = now();
    UserDefaults& defaults = m_service.defaults();
    defaults.setObject(QDateTime::fromMSecsSinceEpoch(qint64(sentAt * 1000.0))
                           .toString(QStringLiteral("yyyy-MM-dd")),
                       QStringLiteral("lastPostDate"));
    defaults.setDouble(sentAt, QStringLiteral("lastPostInterval"));
    defaults.synchronize();
    // The records each report carried went as it was accepted; those still
    // marked were carried by a report that was refused, and stay.
    persistAfterReport();
}

// A cache file on disk may hold records the report has just carried; it is
// brought in line with what is left, so the next launch does not send them
// again. Memory holds everything the file does whenever a report runs (the
// file is read into memory at launch and written from it at the end of use).
void AnalyticsInternal::persistAfterReport() {
    if (cache().exists())
        writeCache(true);
}

// The file follows the lists: removed when nothing is left to keep, replaced
// otherwise (when writing is allowed).
void AnalyticsInternal::writeCache(bool mayWrite) {
    QJsonObject body;
    {
        std::lock_guard lock(m_mutex);
        body = m_lists.toJson();
    }
    const AnalyticsRecordCache file = cache();
    if (body.isEmpty())
        file.remove();
    else if (mayWrite)
        file.save(body);
}

// ---- cache

void AnalyticsInternal::saveCacheAndClean(bool clean) {
    const AnalyticsSession& session = m_service.session();
    // Judged now: by the time the queue runs the save, a quit may have
    // followed the resignation that asked for it.
    queueSave(clean, session.appInBackGround() && session.appBeKilling());
}

void AnalyticsInternal::queueSave(bool clean, bool killing) {
    if (!hasJob())
        return;
    enqueue([this, clean, killing] { saveAndClean(clean, killing); });
}

void AnalyticsInternal::saveAndClean(bool clean, bool killing) {
    writeCache(!killing);
    if (!clean)
        return;
    m_service.job().withLock([this](bool running) {
        if (running)
            return;
        std::lock_guard lock(m_mutex);
        m_lists.clear();
    });
}

// ---- bound

// The lists are held to what the cache keeps; the oldest events make room,
// and a tally of what was dropped goes with the next report.
void AnalyticsInternal::keepWithinBound(AnalyticsRecordLists& lists) {
    if (lists.size() <= AnalyticsRecordCache::kMaxRecords)
        return;
    const qsizetype dropped = lists.trimOldest(AnalyticsRecordCache::kMaxRecords);
    if (lists.countDropped(dropped, m_sessionID, now()))
        qCWarning(lcAnalytics).noquote()
            << QStringLiteral("analytics keeps at most %1 unsent records: the oldest events are "
                              "dropped, and the next report counts them")
                   .arg(AnalyticsRecordCache::kMaxRecords);
}
