#include "server/publicroutes.h"

#include "platform/system/localizedstrings.h"
#include "results/blewfogresult.h"
#include "results/blewresultstring.h"
#include "server/content/contentfolder.h"
#include "server/http/clientkey.h"
#include "server/metrics/servermetrics.h"
#include "server/pages/clienttext.h"
#include "server/pages/renderedpages.h"
#include "server/pages/replies.h"
#include "server/reportintake.h"
#include "server/reports/reportinflater.h"
#include "server/serverlog.h"
#include "server/store/reportstore.h"

#include <QRegularExpression>

namespace {

// A whole number in [low, high] written as plain digits, or -1.
int boundedNumber(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return -1;
    const int value = text.toInt();
    return value >= low && value <= high ? value : -1;
}

void sendBadShareLink(HttpResponse& res) {
    sendError(res, 400, QStringLiteral("分享链接的参数不正确。"));
}

} // namespace

PublicRoutes::PublicRoutes(ContentFolder& content, ReportStore& store,
                           const QHash<QString, QString>& lungComments,
                           std::function<QString()> publicUrl, ServerMetrics& metrics,
                           double recordsPerSecond)
    : m_content(content), m_store(store), m_metrics(metrics), m_lungComments(lungComments),
      m_publicUrl(std::move(publicUrl)) {
    if (recordsPerSecond > 0) {
        const double burst = std::max(20 * recordsPerSecond, double(ReportIntake::kMaxRecords));
        m_reportRecords = std::make_unique<ClientBuckets>(recordsPerSecond, burst);
        m_reportBytes = std::make_unique<ClientBuckets>(256 * recordsPerSecond, 256 * burst);
    }
    install();
}

void PublicRoutes::install() {
    using Req = const HttpRequest&;
    m_router.add("GET", "/",
                 [](Req, HttpResponse& res) { sendPage(res, 200, ContentPages::index()); });
    m_router.add("GET", "/healthz", [this](Req, HttpResponse& res) { healthz(res); });
    m_router.add("GET", "/wechat/getPm25CentralIssue.do",
                 [this](Req, HttpResponse& res) { sendPage(res, 200, pages()->hotIssues()); });
    m_router.add("GET", "/wechat/article.do",
                 [this](Req req, HttpResponse& res) { article(req, res); });
    m_router.add("GET", "/wechat/getPm25Rank.do", [this](Req, HttpResponse& res) { ranking(res); });
    m_router.add("GET", "/wechat/capacityPmShare.do",
                 [this](Req req, HttpResponse& res) { lungResult(req, res); });
    m_router.add("GET", "/wechat/getPm25Capacity.do",
                 [this](Req req, HttpResponse& res) { smogResult(req, res); });
    m_router.add("POST", "/analytics/report",
                 [this](Req req, HttpResponse& res) { report(req, res); });
}

bool PublicRoutes::handle(const HttpRequest& req, HttpResponse& res) {
    const HttpRouter::Handler* handler = m_router.find(req);
    if (!handler)
        return false;
    (*handler)(req, res);
    return true;
}

// A reload publishes a new snapshot; its pages are rendered once, by the
// first request that sees it, and every page of one request comes from one
// snapshot.
std::shared_ptr<const RenderedPages> PublicRoutes::pages() {
    const auto content = m_content.snapshot();
    std::lock_guard lock(m_pagesMutex);
    if (!m_pages || !m_pages->isOf(content))
        m_pages = std::make_shared<const RenderedPages>(content);
    return m_pages;
}

// For a load balancer or a service manager: whether reports can be kept
// now. It says nothing else to the open internet, and costs no query while
// reports are being kept.
void PublicRoutes::healthz(HttpResponse& res) {
    const bool up = m_writeHealth.writable();
    res.status = up ? 200 : 503;
    res.contentType = "text/plain; charset=utf-8";
    res.body = up ? "ok\n" : "unavailable\n";
    res.setHeader("Cache-Control", "no-store");
}

void PublicRoutes::article(const HttpRequest& req, HttpResponse& res) {
    const auto rendered = pages();
    const std::string* page = rendered->article(param(req, "id"));
    if (!page)
        return sendError(res, 404, QStringLiteral("没有这篇文章。"));
    sendPage(res, 200, *page);
}

void PublicRoutes::ranking(HttpResponse& res) {
    const auto rendered = pages();
    if (!rendered->ranking()) {
        qCWarning(lcServer).noquote()
            << "ranking unavailable: no valid pm25rank.json in" << m_content.path();
        return sendError(res, 503, QStringLiteral("排行数据暂不可用，请稍后再试。"));
    }
    sendPage(res, 200, *rendered->ranking());
}

void PublicRoutes::lungResult(const HttpRequest& req, HttpResponse& res) {
    static const QRegularExpression levelShape(QStringLiteral("^[0-3]_[0-9]{1,2}$"));
    const int value = boundedNumber(param(req, "value"), 0, 10000);
    const int percent = boundedNumber(param(req, "percent"), 0, 100);
    const QString level = param(req, "level");
    const QString comment = levelShape.match(level).hasMatch()
                                ? m_lungComments.value(BlewResultString::keyForShortKey(level))
                                : QString();
    if (value < 0 || percent < 0 || comment.isEmpty())
        return sendBadShareLink(res);
    // The page's own address, in one spelling whatever the request's: it is
    // also the page's key.
    const QString query =
        QStringLiteral("value=%1&percent=%2&level=%3").arg(value).arg(percent).arg(level);
    const auto page = m_landingPages.page(("lung?" + query).toStdString(), [&] {
        const QString link = m_publicUrl() + QStringLiteral("/wechat/capacityPmShare.do?") + query;
        return ContentPages::lungResult(value, percent, comment, link).toStdString();
    });
    sendPage(res, 200, *page);
}

void PublicRoutes::smogResult(const HttpRequest& req, HttpResponse& res) {
    const int percent = boundedNumber(param(req, "percent"), BlewFogResult::kLowestPercent,
                                      BlewFogResult::kHighestPercent);
    const int variant = boundedNumber(param(req, "random"), 1, 2);
    const QString key = BlewFogResult::commentKey(percent, variant);
    if (key.isEmpty())
        return sendBadShareLink(res);
    const QString query = QStringLiteral("percent=%1&random=%2").arg(percent).arg(variant);
    const auto page = m_landingPages.page(("smog?" + query).toStdString(), [&] {
        QString comment =
            LocalizedStrings::localizedStringForKey(key, QString(), QStringLiteral("language"));
        // The table answers a missing key with the key itself.
        if (comment == key) {
            qCWarning(lcServer).noquote() << "no smog comment" << key << "in the strings table";
            comment.clear();
        }
        const QString link = m_publicUrl() + QStringLiteral("/wechat/getPm25Capacity.do?") + query;
        return ContentPages::smogResult(percent, comment, link).toStdString();
    });
    sendPage(res, 200, *page);
}

// The report is read and kept on a worker: the network threads serve pages
// whatever a report costs. While every worker is busy and the queue is
// full, the uploader is told at once to come back shortly; it keeps the
// records until then.
void PublicRoutes::report(const HttpRequest& req, HttpResponse& res) {
    // Bytes are counted before any work is done on them, records once the
    // report is read; both per client.
    const std::string client = ClientKey::of(req.clientAddress);
    if (const int wait = m_reportBytes ? m_reportBytes->take(client, double(req.body.size())) : 0)
        return sendSlowDown(res, wait);
    res.setHeader("Retry-After", std::to_string(kBusyRetryAfterSeconds));
    sendJson(res, 503, {{QStringLiteral("error"), QStringLiteral("the collector is busy")}});
    res.notTaken = [this] { m_metrics.noteReport(ServerMetrics::ReportOutcome::Busy); };
    res.later = [this, client, body = QByteArray::fromStdString(req.body),
                 encoding = req.header("Content-Encoding"),
                 address = QString::fromStdString(req.clientAddress)] {
        HttpResponse made;
        takeReport(body, encoding, {address, client}, made);
        return made;
    };
}

void PublicRoutes::sendSlowDown(HttpResponse& res, int seconds) {
    m_metrics.noteReport(ServerMetrics::ReportOutcome::Limited);
    res.setHeader("Retry-After", std::to_string(seconds));
    sendJson(res, 429, {{QStringLiteral("error"), QStringLiteral("too many reports")}});
}

void PublicRoutes::takeReport(const QByteArray& compressed, const std::string& encoding,
                              const Sender& sender, HttpResponse& res) {
    auto refuse = [this, &res](const QString& why) {
        qCWarning(lcServer).noquote() << "report refused:" << ClientText::printable(why);
        m_metrics.noteReport(ServerMetrics::ReportOutcome::Refused);
        res.close = true;
        sendJson(res, 400, {{QStringLiteral("error"), why}});
    };
    // The connection has read the body whole and held it to its size on
    // the wire; here it is inflated and checked to its end.
    const auto format = ReportInflater::formatFor(encoding);
    if (!format)
        return refuse(QStringLiteral("reports come gzip- or deflate-compressed"));
    QString inflateError;
    const auto inflated = ReportInflater::inflate(compressed, *format, kMaxReport, &inflateError);
    if (!inflated)
        return refuse(inflateError);
    const QByteArray& body = *inflated;
    // The intake reads the text where it lies: a copy of a report that
    // may be megabytes is what it must not make.
    const auto allowance = [this, &sender](qsizetype records) {
        return m_reportRecords ? m_reportRecords->take(sender.clientKey, double(records)) : 0;
    };
    answerIntake(ReportIntake(m_store).take(QByteArrayView(body.data(), qsizetype(body.size())),
                                            sender.address, allowance),
                 res);
}

void PublicRoutes::answerIntake(const ReportIntake::Answer& answer, HttpResponse& res) {
    if (answer.status == 429)
        return sendSlowDown(res, answer.retryAfter);
    if (answer.status == 200 || answer.status == 503)
        m_writeHealth.noteStored(answer.status == 200);
    res.close = answer.status == 400 || answer.status == 413;
    noteIntake(answer);
    // The store is out of reach: the application keeps the report and
    // sends it again; this says when it is worth trying.
    if (answer.status == 503)
        res.setHeader("Retry-After", std::to_string(kRetryAfterSeconds));
    sendJson(res, answer.status, answer.body);
}

void PublicRoutes::noteIntake(const ReportIntake::Answer& answer) {
    using Outcome = ServerMetrics::ReportOutcome;
    if (answer.status == 200) {
        m_metrics.noteReport(Outcome::Stored);
        m_metrics.noteRecords(answer.body.value(QStringLiteral("stored")).toInteger(),
                              answer.body.value(QStringLiteral("duplicates")).toInteger());
    } else if (answer.status == 503) {
        m_metrics.noteReport(Outcome::Unavailable);
        if (answer.storeFailed)
            m_metrics.noteStoreError();
    } else {
        m_metrics.noteReport(Outcome::Refused);
    }
}
