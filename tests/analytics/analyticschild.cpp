// The analytics service in a process of its own, for tests that kill it or
// look at what its next launch finds. Caches and settings follow the XDG
// variables the test gives it.
//   analytics_child log RUN REPORT_URL   logs numbered events "RUN_N" until
//       killed, ending a use every few events; prints "ended N" once the end
//       of use that followed event N is saved.
//   analytics_child drain REPORT_URL     one launch, its report, and an orderly
//       quit.
// Exit status 2: bad arguments; 3: the first launch never came.
#include "analytics/analytics.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticsnetwork.h"
#include "analytics/analyticssession.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"
#include "support/scopedanalyticsservice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kEventsPerUse = 6;
constexpr int kQuitWaitMs = 5000;

void post(const QString& name) {
    NotificationCenter::defaultCenter().postNotificationName(name, nullptr);
}

bool start(const QString& reportUrl) {
    // The machine's interfaces do not matter here; the collector is on
    // loopback, which alone would stop every report.
    AnalyticsNetwork::sharedInstance().setInterfaceLister(
        [] { return QStringList{QStringLiteral("eth0")}; });
    Analytics::setAppVersion(QStringLiteral("1.0.0"));
    Analytics::setReportUrl(QUrl(reportUrl));
    Analytics::startWithAppkey(QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"), 0);
    post(ApplicationNotifications::didBecomeActive());
    return AnalyticsInternal::sharedInstance().waitForDone(kQuitWaitMs);
}

int logUntilKilled(const QString& run) {
    for (int n = 1;; ++n) {
        Analytics::event(QStringLiteral("%1_%2").arg(run).arg(n));
        QThread::msleep(1);
        if (n % kEventsPerUse != 0)
            continue;
        post(ApplicationNotifications::willResignActive());
        AnalyticsInternal::sharedInstance().waitForDone(-1);
        std::printf("ended %d\n", n);
        std::fflush(stdout);
        post(ApplicationNotifications::didBecomeActive());
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Built as the application builds its own: the platform's folders,
    // settings and clock.
    ScopedAnalyticsService analytics;
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("log")) {
        if (!start(args[3]))
            return 3;
        return logUntilKilled(args[2]);
    }
    if (args.size() == 3 && args[1] == QLatin1String("drain")) {
        if (!start(args[2]))
            return 3;
        Analytics::finish(kQuitWaitMs);
        return 0;
    }
    std::fprintf(stderr, "usage: analytics_child log RUN REPORT_URL | drain REPORT_URL\n");
    return 2;
}
