#include "analytics/analyticsjob.h"

#include "analytics/analyticsservice.h"
#include "platform/system/userdefaults.h"

#include <QDateTime>

namespace {

// Rows: launch, end of use, event, and two kinds this application never
// asks about; columns: policies 0 to 4.
constexpr int kTable[5][5] = {
    {1, 1, 0, 0, 1}, {0, 0, 1, 0, 0}, {1, 0, 0, 0, 1}, {1, 1, 0, 1, 1}, {0, 0, 0, 0, 0},
};

bool lookup(int kind, int policy) {
    if (kind < 0 || kind > 4 || policy < 0 || policy > 4)
        return false;
    return kTable[kind][policy] == 1;
}

} // namespace

AnalyticsJob& AnalyticsJob::sharedInstance() {
    return AnalyticsService::sharedInstance().job();
}

AnalyticsJob::AnalyticsJob(AnalyticsService& service) : m_service(service) {}

bool AnalyticsJob::shouldSend(const Inputs& in) {
    if (in.appBeKilling)
        return false;
    if (in.policy == 7)
        return in.appInBackGround;
    if (in.accessString.isEmpty() || !in.launchHasBegan)
        return false;
    switch (in.policy) {
    case 6:
        if (!in.lastPostInterval)
            return true;
        if (in.kind == Terminate)
            return false;
        return in.now - *in.lastPostInterval > in.sendInterval;
    case 4:
        return in.accessString == QLatin1String("WiFi") && lookup(in.kind, 4);
    case 3:
        if (in.kind == Launch)
            return in.lastPostDate != in.today;
        return lookup(in.kind, 3);
    default:
        return lookup(in.kind, in.policy);
    }
}

void AnalyticsJob::completeInputs(Inputs& in) const {
    AnalyticsApp& app = m_service.app();
    UserDefaults& defaults = m_service.defaults();
    in.policy = app.reportPolicy();
    in.accessString = m_service.network().accessString();
    app.refreshLogSendInterval();
    in.sendInterval = app.logSendInterval();
    const QVariant last = defaults.objectForKey(QStringLiteral("lastPostInterval"));
    if (last.isValid())
        in.lastPostInterval = last.toDouble();
    in.lastPostDate = defaults.stringForKey(QStringLiteral("lastPostDate"));
    in.today = QDateTime::fromMSecsSinceEpoch(qint64(in.now * 1000.0))
                   .toString(QStringLiteral("yyyy-MM-dd"));
}

void AnalyticsJob::preparePerformJob(int kind) {
    const AnalyticsSession& session = m_service.session();
    if (!session.launchHasBegan() || !tryBegin())
        return;
    Queue queue;
    std::function<void()> commit;
    {
        std::lock_guard lock(m_mutex);
        queue = m_queue;
        commit = m_commit;
    }
    if (!queue || !commit) {
        finish();
        return;
    }
    // The session's state is taken as it is now; the network and the stored
    // settings are read on the queue, keeping them off the main thread that
    // logs the events.
    Inputs in;
    in.kind = kind;
    in.appBeKilling = session.appBeKilling();
    in.appInBackGround = session.appInBackGround();
    in.launchHasBegan = true;
    in.now = m_service.now();
    queue([this, in, commit]() mutable {
        completeInputs(in);
        if (shouldSend(in))
            commit();
        else
            finish();
    });
}

bool AnalyticsJob::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

bool AnalyticsJob::tryBegin() {
    std::lock_guard lock(m_mutex);
    if (m_running)
        return false;
    m_running = true;
    return true;
}

void AnalyticsJob::finish() {
    std::lock_guard lock(m_mutex);
    m_running = false;
}

void AnalyticsJob::withLock(const std::function<void(bool running)>& f) {
    std::lock_guard lock(m_mutex);
    f(m_running);
}

void AnalyticsJob::setPerformer(Queue queue, std::function<void()> commit) {
    std::lock_guard lock(m_mutex);
    m_queue = std::move(queue);
    m_commit = std::move(commit);
}
