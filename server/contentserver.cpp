#include "server/contentserver.h"

#include "platform/system/folders.h"
#include "platform/system/localizedstrings.h"
#include "results/blewfogresult.h"
#include "results/blewresultstring.h"
#include "server/admin/admingate.h"
#include "server/admin/adminroutes.h"
#include "server/content/contentfolder.h"
#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/http/httpserver.h"
#include "server/pages/contentpages.h"
#include "server/pages/replies.h"
#include "server/reportintake.h"
#include "server/reports/reportinflater.h"
#include "server/serverlog.h"
#include "server/store/reportstores.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

void sendError(HttpResponse& res, int status, const QString& message) {
    QString title;
    switch (status) {
    case 400:
        title = QStringLiteral("请求无效");
        break;
    case 404:
        title = QStringLiteral("页面不存在");
        break;
    case 503:
        title = QStringLiteral("服务暂不可用");
        break;
    default:
        title = QStringLiteral("出错了");
    }
    sendPage(res, status, ContentPages::error(status, title, message));
}

// The pages carry no scripts and load nothing from elsewhere; browsers are
// told so, and not to guess content types.
void addDefaultHeaders(HttpResponse& res) {
    res.setHeader("X-Content-Type-Options", "nosniff");
    res.setHeader("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
}

// An error answer that a handler left without a page gets one.
void addErrorPage(HttpResponse& res) {
    if (res.status < 400 || !res.body.empty())
        return;
    sendError(res, res.status,
              res.status == 404 ? QStringLiteral("没有这个页面。")
                                : QStringLiteral("请求无法处理。"));
}

// A request the connection refused before it was whole (too big, malformed).
HttpResponse refusalPage(int status) {
    qCInfo(lcServer) << "a request was refused with" << status;
    HttpResponse res;
    res.status = status;
    res.close = true;
    addErrorPage(res);
    addDefaultHeaders(res);
    return res;
}

// Only the fixed routes exist: a path that climbs out of the root is
// refused before routing, whatever it is spelled like.
bool climbsOut(const std::string& path) {
    return path.empty() || path.front() != '/' || path.find("..") != std::string::npos ||
           path.find('\\') != std::string::npos || path.find('\0') != std::string::npos;
}

// A whole number in [low, high] written as plain digits, or -1.
int boundedNumber(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return -1;
    const int value = text.toInt();
    return value >= low && value <= high ? value : -1;
}

} // namespace

ContentServer::ContentServer() {
    // An own copy of the comment table: the shared one is loaded and dropped
    // by the lung test screen on the main thread, while pages are served here
    // on the server's threads.
    BlewResultString book;
    book.loadBook();
    m_lungComments = *book.resultBook();
    installRoutes();
}

ContentServer::~ContentServer() {
    stop();
}

void ContentServer::setDataFolder(const QString& folder) {
    std::lock_guard lock(m_configMutex);
    m_dataFolder = folder;
}

QString ContentServer::dataFolder() const {
    std::lock_guard lock(m_configMutex);
    return m_dataFolder.isEmpty() ? Folders::home() + QStringLiteral("/server") : m_dataFolder;
}

void ContentServer::setContentFolder(const QString& folder) {
    std::lock_guard lock(m_configMutex);
    m_contentFolder = folder;
}

QString ContentServer::contentFolder() const {
    std::lock_guard lock(m_configMutex);
    return m_contentFolder;
}

QList<ContentProblem> ContentServer::contentProblems() const {
    return m_content ? m_content->problems() : QList<ContentProblem>();
}

bool ContentServer::replaceRanking(const QByteArray& json, QString* error) {
    if (!m_content) {
        if (error)
            *error = QStringLiteral("the content server is not running");
        return false;
    }
    return m_content->replaceRanking(json, error) == ContentFolder::RankingUpdate::Replaced;
}

void ContentServer::openContent() {
    const QString folder = contentFolder();
    m_content = folder.isEmpty() ? std::make_unique<ContentFolder>(ContentFolder::samplePath(),
                                                                   ContentFolder::Mode::Sample)
                                 : std::make_unique<ContentFolder>(folder);
    if (!folder.isEmpty())
        m_content->startWatching();
    const auto content = m_content->snapshot();
    qCInfo(lcServer).noquote() << "content from" << m_content->path() << ':'
                               << content->articles.size() << "articles,"
                               << (content->ranking ? "a ranking," : "no ranking,")
                               << content->problems.size() << "problems";
}

void ContentServer::setDatabaseUrl(const QString& url) {
    std::lock_guard lock(m_configMutex);
    m_databaseUrl = url;
}

QString ContentServer::databaseUrl() const {
    {
        std::lock_guard lock(m_configMutex);
        if (!m_databaseUrl.isEmpty())
            return m_databaseUrl;
    }
    return ReportStores::sqliteUrl(dataFolder() + QStringLiteral("/reports.sqlite"));
}

bool ContentServer::isRunning() const {
    return m_server != nullptr;
}

int ContentServer::port() const {
    return m_port;
}

QString ContentServer::baseUrl() const {
    if (!m_server)
        return {};
    QString host = m_host;
    if (host.isEmpty() || host == QLatin1String("0.0.0.0") || host == QLatin1String("::"))
        host = QStringLiteral("127.0.0.1");
    else if (host.contains(u':'))
        host = u'[' + host + u']';
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

int ContentServer::reportCount() const {
    return m_store ? m_store->reportCount() : 0;
}

qint64 ContentServer::droppedRecords() const {
    return m_store ? m_store->droppedRecords() : qint64(0);
}

QList<QByteArray> ContentServer::recordBodies() const {
    return m_store ? m_store->recordBodies() : QList<QByteArray>();
}

QStringList ContentServer::reportClients() const {
    return m_store ? m_store->reportClients() : QStringList();
}

QStringList ContentServer::recordIds() const {
    return m_store ? m_store->recordIds() : QStringList();
}

void ContentServer::setAdminToken(const AdminToken& token) {
    std::lock_guard lock(m_configMutex);
    m_adminToken = token;
}

void ContentServer::setPublicUrl(const QUrl& url) {
    std::lock_guard lock(m_configMutex);
    m_publicUrl = url;
    // Links are made by appending absolute paths to it.
    if (m_publicUrl.path() == QLatin1String("/"))
        m_publicUrl.setPath(QString());
}

QUrl ContentServer::publicUrl() const {
    {
        std::lock_guard lock(m_configMutex);
        if (!m_publicUrl.isEmpty())
            return m_publicUrl;
    }
    return QUrl(baseUrl());
}

void ContentServer::openAdmin() {
    std::lock_guard lock(m_configMutex);
    if (!m_adminToken)
        return;
    // Over HTTPS the login cookie must never travel in clear.
    const bool secure = m_publicUrl.scheme() == QLatin1String("https");
    m_admin = std::make_unique<AdminRoutes>(*m_adminToken, secure, *m_store, *m_content);
}

bool ContentServer::start(const QString& host, int port) {
    if (m_server) {
        qCWarning(lcServer) << "start: already running at" << baseUrl();
        return false;
    }
    const QString folder = dataFolder();
    QDir().mkpath(folder);
    m_store = ReportStores::open(databaseUrl());

    openContent();
    openAdmin();
    m_server = std::make_unique<HttpServer>([this](const HttpRequest& req) { return handle(req); },
                                            refusalPage);
    std::string error;
    const int bound =
        port >= 0 && port <= 65535 ? m_server->listen(host.toStdString(), port, &error) : 0;
    if (bound <= 0) {
        qCWarning(lcServer).noquote()
            << "cannot listen on" << host << "port" << port << ':' << QString::fromStdString(error);
        m_server.reset();
        m_admin.reset();
        m_store->close();
        m_content.reset();
        return false;
    }
    m_host = host;
    m_port = bound;
    qCInfo(lcServer).noquote() << "serving at" << baseUrl() << "with data in" << folder;
    return true;
}

void ContentServer::stop() {
    if (!m_server)
        return;
    m_server->stop();
    closeAfterServing();
}

void ContentServer::shutdown(std::chrono::milliseconds limit) {
    if (!m_server)
        return;
    QElapsedTimer clock;
    clock.start();
    qCInfo(lcServer) << "shutting down: no new connections; the requests under way have"
                     << limit.count() << "ms to finish";
    const HttpServer::Drain drain = m_server->shutdown(limit);
    closeAfterServing();
    qCInfo(lcServer).noquote()
        << QStringLiteral("shut down in %1 ms; requests under way: %2, answered: %3, cut at the "
                          "limit: %4")
               .arg(clock.elapsed())
               .arg(drain.inFlight)
               .arg(drain.answered)
               .arg(drain.cut);
}

void ContentServer::closeAfterServing() {
    m_server.reset();
    m_admin.reset();
    m_store->close();
    m_content.reset();
    m_port = 0;
}

HttpResponse ContentServer::handle(const HttpRequest& req) {
    HttpResponse res;
    try {
        route(req, res);
    } catch (...) {
        qCWarning(lcServer) << "a handler failed on" << QString::fromStdString(req.path);
        res = HttpResponse();
        sendError(res, 500, QStringLiteral("服务器内部错误。"));
    }
    addErrorPage(res);
    addDefaultHeaders(res);
    qCInfo(lcServer) << req.method.c_str() << QString::fromStdString(req.path) << res.status
                     << res.body.size() << "bytes";
    return res;
}

void ContentServer::route(const HttpRequest& req, HttpResponse& res) {
    if (climbsOut(req.path))
        return sendError(res, 404, QStringLiteral("没有这个页面。"));
    if (AdminGate::covers(req.path)) {
        if (!m_admin)
            res.status = 404;
        else
            m_admin->handle(req, res);
        return;
    }
    // A HEAD request is answered like a GET; the connection leaves out the body.
    const std::string method = req.method == "HEAD" ? std::string("GET") : req.method;
    const auto found = m_routes.find(method + ' ' + req.path);
    if (found == m_routes.end()) {
        res.status = 404;
        return;
    }
    found->second(req, res);
}

void ContentServer::installRoutes() {
    auto get = [this](const std::string& path, Route route) {
        m_routes.emplace("GET " + path, std::move(route));
    };
    get("/",
        [](const HttpRequest&, HttpResponse& res) { sendPage(res, 200, ContentPages::index()); });
    // For a load balancer or a service manager: whether reports can be kept
    // now. It says nothing else to the open internet, and costs no query.
    get("/healthz", [this](const HttpRequest&, HttpResponse& res) {
        const bool up = m_store->isOpen();
        res.status = up ? 200 : 503;
        res.contentType = "text/plain; charset=utf-8";
        res.body = up ? "ok\n" : "unavailable\n";
        res.setHeader("Cache-Control", "no-store");
    });
    // Each page reads one snapshot of the content, whatever a reload does meanwhile.
    get("/wechat/getPm25CentralIssue.do", [this](const HttpRequest&, HttpResponse& res) {
        sendPage(res, 200, ContentPages::hotIssues(m_content->snapshot()->articles));
    });
    get("/wechat/article.do", [this](const HttpRequest& req, HttpResponse& res) {
        const auto content = m_content->snapshot();
        const Article* article = content->article(param(req, "id"));
        if (!article)
            return sendError(res, 404, QStringLiteral("没有这篇文章。"));
        sendPage(res, 200, ContentPages::article(*article, content->articles));
    });
    get("/wechat/getPm25Rank.do", [this](const HttpRequest&, HttpResponse& res) {
        const auto content = m_content->snapshot();
        if (!content->ranking) {
            qCWarning(lcServer).noquote()
                << "ranking unavailable: no valid pm25rank.json in" << m_content->path();
            return sendError(res, 503, QStringLiteral("排行数据暂不可用，请稍后再试。"));
        }
        sendPage(res, 200, ContentPages::ranking(*content->ranking));
    });
    get("/wechat/capacityPmShare.do", [this](const HttpRequest& req, HttpResponse& res) {
        static const QRegularExpression levelShape(QStringLiteral("^[0-3]_[0-9]{1,2}$"));
        const int value = boundedNumber(param(req, "value"), 0, 10000);
        const int percent = boundedNumber(param(req, "percent"), 0, 100);
        const QString level = param(req, "level");
        const QString comment = levelShape.match(level).hasMatch()
                                    ? m_lungComments.value(BlewResultString::keyForShortKey(level))
                                    : QString();
        if (value < 0 || percent < 0 || comment.isEmpty())
            return sendError(res, 400, QStringLiteral("分享链接的参数不正确。"));
        const QString link =
            QStringLiteral("%1/wechat/capacityPmShare.do?value=%2&percent=%3&level=%4")
                .arg(publicUrl().toString())
                .arg(value)
                .arg(percent)
                .arg(level);
        sendPage(res, 200, ContentPages::lungResult(value, percent, comment, link));
    });
    get("/wechat/getPm25Capacity.do", [this](const HttpRequest& req, HttpResponse& res) {
        const int percent = boundedNumber(param(req, "percent"), BlewFogResult::kLowestPercent,
                                          BlewFogResult::kHighestPercent);
        const int variant = boundedNumber(param(req, "random"), 1, 2);
        const QString key = BlewFogResult::commentKey(percent, variant);
        if (key.isEmpty())
            return sendError(res, 400, QStringLiteral("分享链接的参数不正确。"));
        QString comment =
            LocalizedStrings::localizedStringForKey(key, QString(), QStringLiteral("language"));
        // The table answers a missing key with the key itself.
        if (comment == key) {
            qCWarning(lcServer).noquote() << "no smog comment" << key << "in the strings table";
            comment.clear();
        }
        const QString link = QStringLiteral("%1/wechat/getPm25Capacity.do?percent=%2&random=%3")
                                 .arg(publicUrl().toString())
                                 .arg(percent)
                                 .arg(variant);
        sendPage(res, 200, ContentPages::smogResult(percent, comment, link));
    });

    m_routes.emplace("POST /analytics/report", [this](const HttpRequest& req, HttpResponse& res) {
        auto refuse = [&res](const QString& why) {
            qCWarning(lcServer).noquote() << "report refused:" << why;
            res.close = true;
            sendJson(res, 400, {{QStringLiteral("error"), why}});
        };
        // The connection has read the body whole and held it to its size on
        // the wire; here it is inflated and checked to its end.
        const auto format = ReportInflater::formatFor(req.header("Content-Encoding"));
        if (!format)
            return refuse(QStringLiteral("reports come gzip- or deflate-compressed"));
        QString inflateError;
        const auto inflated = ReportInflater::inflate(QByteArray::fromStdString(req.body), *format,
                                                      kMaxReport, &inflateError);
        if (!inflated)
            return refuse(inflateError);
        const QByteArray& body = *inflated;
        // The intake reads the text where it lies: a copy of a report that
        // may be megabytes is what it must not make.
        const ReportIntake::Answer answer =
            ReportIntake(*m_store).take(QByteArrayView(body.data(), qsizetype(body.size())),
                                        QString::fromStdString(req.clientAddress));
        res.close = answer.status == 400 || answer.status == 413;
        // The store is out of reach: the application keeps the report and
        // sends it again; this says when it is worth trying.
        if (answer.status == 503)
            res.setHeader("Retry-After", std::to_string(kRetryAfterSeconds));
        sendJson(res, answer.status, answer.body);
    });
}
