#pragma once

#include "server/admin/admingate.h"
#include "server/admin/dashboardperiod.h"
#include "server/admin/origincheck.h"
#include "server/http/httprouter.h"

#include <QUrl>
#include <functional>
#include <optional>

class ContentFolder;
class ReportStore;
struct HttpRequest;
struct HttpResponse;

// Everything under /admin: the sign-in, the dashboard, the crash texts and
// the ranking upload; and /metrics, behind the same door. Only the sign-in
// answers without the token; an unknown path below /admin says 404 only to
// those who may see it. Nothing but GET and HEAD is taken from another
// site's page (403).
class AdminRoutes {
public:
    // Fills the answer to /metrics.
    using MetricsPage = std::function<void(HttpResponse&)>;

    // `publicUrl` (may be empty): where the operator reaches the server;
    // over https the cookie is Secure. `keepDays`: how long records are
    // kept, shown on the dashboard (0 for ever).
    AdminRoutes(AdminToken token, const QUrl& publicUrl, ReportStore& store, ContentFolder& content,
                MetricsPage metrics, int keepDays = 0);

    void handle(const HttpRequest& req, HttpResponse& res);

private:
    void install();
    bool refusedOrigin(const HttpRequest& req, HttpResponse& res) const;
    void dashboard(const HttpRequest& req, HttpResponse& res);
    static std::optional<DashboardPeriod> exportPeriod(const HttpRequest& req, HttpResponse& res);
    void exportFigures(const HttpRequest& req, HttpResponse& res);
    void exportRecords(const HttpRequest& req, HttpResponse& res);
    void crashes(const HttpRequest& req, HttpResponse& res);
    void replaceRanking(const HttpRequest& req, HttpResponse& res);

    AdminGate m_gate;
    OriginCheck m_origin;
    ReportStore& m_store;
    ContentFolder& m_content;
    MetricsPage m_metrics;
    const int m_keepDays;
    // The sign-in, open to all; the rest, behind the gate.
    HttpRouter m_open;
    HttpRouter m_locked;
};
