#include "analyticsjob.h"

#include "analyticsapp.h"
#include "analyticsnetwork.h"
#include "analyticssession.h"
#include "clock.h"
#include "userdefaults.h"

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
    static AnalyticsJob job;
    return job;
}

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

AnalyticsJob::Inputs AnalyticsJob::gatherInputs(int kind) const {
    AnalyticsApp& app = AnalyticsApp::sharedInstance();
    const AnalyticsSession& session = AnalyticsSession::sharedInstance();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    Inputs in;
    in.kind = kind;
    in.policy = app.reportPolicy();
    in.appBeKilling = session.appBeKilling();
    in.appInBackGround = session.appInBackGround();
    in.launchHasBegan = session.launchHasBegan();
    in.accessString = AnalyticsNetwork::accessString();
    app.refreshLogSendInterval();
    in.sendInterval = app.logSendInterval();
    const QVariant last = defaults.objectForKey(QStringLiteral("lastPostInterval"));
    if (last.isValid())
        in.lastPostInterval = last.toDouble();
    in.now = Clock::shared().now() + Clock::kReferenceDateUnixSeconds;
    in.lastPostDate = defaults.stringForKey(QStringLiteral("lastPostDate"));
    in.today = QDateTime::fromMSecsSinceEpoch(qint64(in.now * 1000.0))
                   .toString(QStringLiteral("yyyy-MM-dd"));
    return in;
}

void AnalyticsJob::preparePerformJob(int kind) {
    if (!AnalyticsSession::sharedInstance().launchHasBegan() || isRunning())
        return;
    if (!shouldSend(gatherInputs(kind)))
        return;
    std::function<void()> begin;
    {
        std::lock_guard lock(m_mutex);
        begin = m_begin;
    }
    if (begin)
        begin();
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

void AnalyticsJob::setBeginPerformJob(std::function<void()> begin) {
    std::lock_guard lock(m_mutex);
    m_begin = std::move(begin);
}
