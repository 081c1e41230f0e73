#include "server/admin/adminroutes.h"

#include "server/admin/dashboardpage.h"
#include "server/admin/dashboardperiod.h"
#include "server/admin/dashboardqueries.h"
#include "server/admin/recordexport.h"
#include "server/content/contentfolder.h"
#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/pages/replies.h"
#include "server/serverlog.h"
#include "server/store/reportstore.h"

// Over HTTPS the login cookie must never travel in clear.
AdminRoutes::AdminRoutes(AdminToken token, const QUrl& publicUrl, ReportStore& store,
                         ContentFolder& content, MetricsPage metrics, int keepDays)
    : m_gate(std::move(token), store, publicUrl.scheme() == QLatin1String("https")),
      m_origin(publicUrl), m_store(store), m_content(content), m_metrics(std::move(metrics)),
      m_keepDays(keepDays) {
    install();
}

void AdminRoutes::install() {
    using Req = const HttpRequest&;
    m_open.add("GET", "/admin/login",
               [this](Req req, HttpResponse& res) { m_gate.loginForm(req, res); });
    m_open.add("POST", "/admin/login",
               [this](Req req, HttpResponse& res) { m_gate.login(req, res); });
    m_open.add("POST", "/admin/logout",
               [this](Req req, HttpResponse& res) { m_gate.logout(req, res); });
    m_locked.add("GET", "/admin", [this](Req req, HttpResponse& res) { dashboard(req, res); });
    m_locked.add("GET", "/admin/crashes",
                 [this](Req req, HttpResponse& res) { crashes(req, res); });
    m_locked.add("PUT", "/admin/ranking",
                 [this](Req req, HttpResponse& res) { replaceRanking(req, res); });
    m_locked.add("GET", "/metrics", [this](Req, HttpResponse& res) { m_metrics(res); });
    m_locked.add("GET", "/admin/export/figures.csv",
                 [this](Req req, HttpResponse& res) { exportFigures(req, res); });
    m_locked.add("GET", "/admin/export/records.ndjson",
                 [this](Req req, HttpResponse& res) { exportRecords(req, res); });
}

namespace {

// The operator's pages are never framed, never say where the operator was,
// post only to themselves and are not kept by any cache.
void addAdminHeaders(HttpResponse& res) {
    res.setHeader("Content-Security-Policy",
                  "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'; "
                  "form-action 'self'; base-uri 'none'");
    res.setHeader("X-Frame-Options", "DENY");
    res.setHeader("Referrer-Policy", "no-referrer");
    res.setHeader("Cache-Control", "no-store");
}

// A download named after what it holds: vantoro-WHAT-FROM-TO.EXT.
void addAttachment(HttpResponse& res, const char* what, const DashboardPeriod& period,
                   const char* extension) {
    res.setHeader("Content-Disposition", std::string("attachment; filename=\"vantoro-") + what +
                                             '-' + period.fromText().toStdString() + '-' +
                                             period.toText().toStdString() + '.' + extension + '"');
}

} // namespace

void AdminRoutes::handle(const HttpRequest& req, HttpResponse& res) {
    addAdminHeaders(res);
    if (refusedOrigin(req, res))
        return;
    if (const HttpRouter::Handler* open = m_open.find(req))
        return (*open)(req, res);
    const AdminGate::Verdict verdict = m_gate.check(req);
    if (verdict != AdminGate::Verdict::Allowed)
        return m_gate.refuse(verdict, req, res);
    const HttpRouter::Handler* locked = m_locked.find(req);
    if (!locked) {
        res.status = 404;
        return;
    }
    (*locked)(req, res);
}

// Before the door: a request another site's page made the operator's
// browser send is turned down whatever it carries, and is not a guess at
// the token.
bool AdminRoutes::refusedOrigin(const HttpRequest& req, HttpResponse& res) const {
    if (req.method == "GET" || req.method == "HEAD" || m_origin.allows(req))
        return false;
    const auto shown = [&req](const char* name) {
        const std::string value = req.header(name);
        return value.empty() ? QStringLiteral("-") : QString::fromStdString(value);
    };
    qCWarning(lcServer).noquote()
        << QStringLiteral("admin: refused %1 %2 from another site (Origin: %3, Sec-Fetch-Site: "
                          "%4) from %5")
               .arg(QString::fromStdString(req.method), QString::fromStdString(req.path),
                    shown("Origin"), shown("Sec-Fetch-Site"),
                    QString::fromStdString(req.clientAddress));
    res.status = 403;
    res.contentType = "text/plain; charset=utf-8";
    res.body = "Forbidden: this request came from another site.\n";
    return true;
}

void AdminRoutes::replaceRanking(const HttpRequest& req, HttpResponse& res) {
    QString error;
    const auto outcome = m_content.replaceRanking(QByteArray::fromStdString(req.body), &error);
    if (outcome == ContentFolder::RankingUpdate::Replaced) {
        qCInfo(lcServer) << "admin: the ranking was replaced," << req.body.size() << "bytes";
        return sendJson(res, 200, {{QStringLiteral("ok"), true}});
    }
    qCWarning(lcServer).noquote() << "admin: the ranking was not replaced:" << error;
    switch (outcome) {
    case ContentFolder::RankingUpdate::Invalid:
        return sendJson(res, 400, {{QStringLiteral("error"), error}});
    case ContentFolder::RankingUpdate::NotEditable:
        return sendJson(res, 409, {{QStringLiteral("error"), error}});
    default:
        // The operator's file system, not the body: the log says more.
        return sendJson(
            res, 500,
            {{QStringLiteral("error"), QStringLiteral("the ranking could not be written")}});
    }
}

void AdminRoutes::dashboard(const HttpRequest& req, HttpResponse& res) {
    QString notice;
    const DashboardPeriod period = DashboardPeriod::fromQuery(param(req, "from"), param(req, "to"),
                                                              DashboardPeriod::today(), &notice);
    if (!notice.isEmpty())
        notice += QStringLiteral("，已显示最近 %1 天。").arg(DashboardPeriod::kDefaultDays);
    DashboardQueries queries(m_store);
    const DashboardQueries::Figures figures = queries.figures(period);
    if (!figures.error.isEmpty())
        qCWarning(lcServer).noquote() << "admin: the figures could not be read:" << figures.error;
    sendPage(res, 200, DashboardPage::overview(figures, m_content.problems(), notice, m_keepDays));
}

// An export's period, by the dashboard's rule; none, and a 400 that says
// what was wrong, when it cannot be read.
std::optional<DashboardPeriod> AdminRoutes::exportPeriod(const HttpRequest& req,
                                                         HttpResponse& res) {
    QString notice;
    const DashboardPeriod period = DashboardPeriod::fromQuery(param(req, "from"), param(req, "to"),
                                                              DashboardPeriod::today(), &notice);
    if (notice.isEmpty())
        return period;
    sendJson(res, 400, {{QStringLiteral("error"), notice}});
    return std::nullopt;
}

// The dashboard's figures per day, for a spreadsheet: the same period rule
// as the page, every day listed, UTC.
void AdminRoutes::exportFigures(const HttpRequest& req, HttpResponse& res) {
    const std::optional<DashboardPeriod> asked = exportPeriod(req, res);
    if (!asked)
        return;
    const DashboardPeriod& period = *asked;
    DashboardQueries queries(m_store);
    const QList<DashboardQueries::DayFigures> days = queries.figuresPerDay(period);
    if (!queries.error().isEmpty())
        return sendJson(res, 503, {{QStringLiteral("error"), queries.error()}});
    std::string csv = "day,sessions,ends_of_use,events,shares,crashes\r\n";
    for (const DashboardQueries::DayFigures& d : days)
        csv += d.day.toStdString() + ',' + std::to_string(d.sessions) + ',' +
               std::to_string(d.ends) + ',' + std::to_string(d.events) + ',' +
               std::to_string(d.shares) + ',' + std::to_string(d.crashes) + "\r\n";
    res.contentType = "text/csv; charset=utf-8";
    addAttachment(res, "figures", period, "csv");
    res.body = std::move(csv);
}

// Every record of the period as a JSON line, streamed: the body is made a
// page at a time on the workers as the operator's client reads it. The
// first page is read before the status is chosen, so that a store that
// cannot be read is a 503 and not a body cut at once.
void AdminRoutes::exportRecords(const HttpRequest& req, HttpResponse& res) {
    const std::optional<DashboardPeriod> asked = exportPeriod(req, res);
    if (!asked)
        return;
    const DashboardPeriod period = *asked;
    res.setHeader("Retry-After", "1");
    sendJson(res, 503, {{QStringLiteral("error"), QStringLiteral("the server is busy")}});
    res.later = [&store = m_store, period] {
        HttpResponse made;
        addAdminHeaders(made);
        auto records = std::make_shared<RecordExport>(store, period);
        QString error;
        if (!records->start(&error)) {
            qCWarning(lcServer).noquote() << "admin: the records could not be read:" << error;
            sendJson(made, 503, {{QStringLiteral("error"), error}});
            return made;
        }
        made.contentType = "application/x-ndjson; charset=utf-8";
        addAttachment(made, "records", period, "ndjson");
        made.stream = [records](std::string& piece) { return records->next(piece); };
        return made;
    };
}

void AdminRoutes::crashes(const HttpRequest& req, HttpResponse& res) {
    const QString group = param(req, "group");
    DashboardQueries queries(m_store);
    const QList<DashboardQueries::CrashText> texts = queries.crashTexts(group);
    if (!queries.error().isEmpty())
        qCWarning(lcServer).noquote() << "admin: crash texts could not be read:" << queries.error();
    sendPage(res, 200, DashboardPage::crashes(group, texts, queries.error()));
}
