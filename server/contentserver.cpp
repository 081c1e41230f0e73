#include "server/contentserver.h"

#include "platform/system/folders.h"
#include "results/blewresultstring.h"
#include "server/admin/admingate.h"
#include "server/admin/adminroutes.h"
#include "server/content/contentfolder.h"
#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/http/httpserver.h"
#include "server/pages/clienttext.h"
#include "server/pages/replies.h"
#include "server/publicroutes.h"
#include "server/serverlog.h"
#include "server/store/reportstores.h"
#include "server/store/retention.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace {

// The pages carry no scripts and load nothing from elsewhere; browsers are
// told so, and not to guess content types. The admin pages say more.
void addDefaultHeaders(HttpResponse& res) {
    res.setHeader("X-Content-Type-Options", "nosniff");
    res.addHeader("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
}

// An error answer that a handler left without a page gets one.
void addErrorPage(HttpResponse& res) {
    if (res.status < 400 || !res.body.empty())
        return;
    sendError(res, res.status,
              res.status == 404 ? QStringLiteral("没有这个页面。")
                                : QStringLiteral("请求无法处理。"));
}

using SteadyClock = std::chrono::steady_clock;

// Only the fixed routes exist: a path that climbs out of the root is
// refused before routing, whatever it is spelled like.
bool climbsOut(const std::string& path) {
    return path.empty() || path.front() != '/' || path.find("..") != std::string::npos ||
           path.find('\\') != std::string::npos || path.find('\0') != std::string::npos;
}

} // namespace

ContentServer::ContentServer() {
    // An own copy of the comment table: the shared one is loaded and dropped
    // by the lung test screen on the main thread, while pages are served here
    // on the server's threads.
    BlewResultString book;
    book.loadBook();
    m_lungComments = *book.resultBook();
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

void ContentServer::setTrustedProxies(const TrustedProxies& proxies) {
    std::lock_guard lock(m_configMutex);
    m_trustedProxies = proxies;
}

void ContentServer::setClientRecordsPerSecond(double rate) {
    std::lock_guard lock(m_configMutex);
    m_recordsPerSecond = rate;
}

double ContentServer::clientRecordsPerSecond() const {
    std::lock_guard lock(m_configMutex);
    return m_recordsPerSecond;
}

void ContentServer::setKeepDays(int days) {
    std::lock_guard lock(m_configMutex);
    m_keepDays = days;
}

int ContentServer::keepDays() const {
    std::lock_guard lock(m_configMutex);
    return m_keepDays;
}

QUrl ContentServer::publicUrl() const {
    {
        std::lock_guard lock(m_configMutex);
        if (!m_publicUrl.isEmpty())
            return m_publicUrl;
    }
    return QUrl(baseUrl());
}

void ContentServer::setLockSqliteStore(bool lock) {
    m_lockSqliteStore = lock;
}

bool ContentServer::lockStore() {
    const QString path = ReportStores::sqlitePath(databaseUrl());
    if (!m_lockSqliteStore || path.isEmpty() || m_storeLock)
        return true;
    // A lock of a process that is gone is taken over.
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, app;
        lock->getLockInfo(&pid, &host, &app);
        qCCritical(lcServer).noquote()
            << QStringLiteral("the report database %1 is in use by another server (process %2); "
                              "several servers share one PostgreSQL database instead (--database "
                              "postgresql://...)")
                   .arg(path)
                   .arg(pid);
        return false;
    }
    m_storeLock = std::move(lock);
    return true;
}

void ContentServer::openAdmin() {
    std::lock_guard lock(m_configMutex);
    if (!m_adminToken)
        return;
    m_admin = std::make_unique<AdminRoutes>(
        *m_adminToken, m_publicUrl, *m_store, *m_content,
        [this](HttpResponse& res) { sendMetrics(res); }, m_keepDays);
}

bool ContentServer::start(const QString& host, int port) {
    if (m_server) {
        qCWarning(lcServer) << "start: already running at" << baseUrl();
        return false;
    }
    const QString folder = dataFolder();
    // The reports are the players': a folder the server makes is its user's
    // alone (one the operator made keeps the operator's mode).
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!lockStore())
        return false;
    m_store = ReportStores::open(databaseUrl());
    if (const int days = keepDays(); days > 0) {
        m_retention = std::make_unique<Retention>(*m_store, days);
        m_retention->start();
    }

    openContent();
    openAdmin();
    m_public = std::make_unique<PublicRoutes>(
        *m_content, *m_store, m_lungComments, [this] { return publicUrl().toString(); }, m_metrics,
        clientRecordsPerSecond());
    m_server = std::make_unique<HttpServer>([this](const HttpRequest& req) { return handle(req); },
                                            [this](int status) { return refusalPage(status); });
    {
        std::lock_guard lock(m_configMutex);
        m_server->setTrustedProxies(m_trustedProxies);
    }
    std::string error;
    const int bound =
        port >= 0 && port <= 65535 ? m_server->listen(host.toStdString(), port, &error) : 0;
    if (bound <= 0) {
        qCWarning(lcServer).noquote()
            << "cannot listen on" << host << "port" << port << ':' << QString::fromStdString(error);
        closeAfterServing();
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
    m_public.reset();
    m_admin.reset();
    m_retention.reset();
    m_store->close();
    m_storeLock.reset();
    m_content.reset();
    m_port = 0;
}

// A request the connection refused before it was whole (too big, malformed).
HttpResponse ContentServer::refusalPage(int status) {
    const SteadyClock::time_point began = SteadyClock::now();
    qCInfo(lcServer) << "a request was refused with" << status;
    HttpResponse res;
    res.status = status;
    res.close = true;
    addErrorPage(res);
    addDefaultHeaders(res);
    m_metrics.noteAnswer(ServerMetrics::otherRoute(), status, SteadyClock::now() - began);
    return res;
}

HttpResponse ContentServer::handle(const HttpRequest& req) {
    const SteadyClock::time_point began = SteadyClock::now();
    HttpResponse res;
    guarded(
        req.path, [&] { route(req, res); }, res);
    if (res.later)
        measureLater(res, req, began);
    finish(req.method, req.path, res);
    if (!res.later)
        noteAnswer(req.path, res.status, began);
    return res;
}

// An answer made later, on a worker, is finished there the same way; its
// time runs from the request's arrival, the wait for a worker included.
void ContentServer::measureLater(HttpResponse& res, const HttpRequest& req,
                                 SteadyClock::time_point began) {
    res.later = [this, inner = std::move(res.later), method = req.method, path = req.path, began] {
        HttpResponse made;
        guarded(
            path, [&] { made = inner(); }, made);
        finish(method, path, made);
        noteAnswer(path, made.status, began);
        return made;
    };
    res.notTaken = [this, then = std::move(res.notTaken), path = req.path, status = res.status,
                    began] {
        if (then)
            then();
        noteAnswer(path, status, began);
    };
}

void ContentServer::noteAnswer(const std::string& path, int status, SteadyClock::time_point began) {
    m_metrics.noteAnswer(ServerMetrics::routeOf(path), status, SteadyClock::now() - began);
}

void ContentServer::sendMetrics(HttpResponse& res) const {
    ServerMetrics::Levels levels;
    if (m_server) {
        levels.connectionsOpen = m_server->openConnections();
        levels.workerQueueLength = static_cast<long long>(m_server->queuedJobs());
    }
    res.status = 200;
    res.contentType = ServerMetrics::kContentType;
    res.setHeader("Cache-Control", "no-store");
    res.body = m_metrics.text(levels);
}

void ContentServer::guarded(const std::string& path, const std::function<void()>& work,
                            HttpResponse& res) {
    try {
        work();
    } catch (...) {
        qCWarning(lcServer) << "a handler failed on"
                            << ClientText::printable(QString::fromStdString(path));
        res = HttpResponse();
        sendError(res, 500, QStringLiteral("服务器内部错误。"));
    }
}

void ContentServer::finish(const std::string& method, const std::string& path, HttpResponse& res) {
    addErrorPage(res);
    addDefaultHeaders(res);
    // A streamed body's size is known at its end, where its maker logs it.
    const QByteArray size =
        res.stream ? QByteArray("streamed") : QByteArray::number(res.body.size()) + " bytes";
    qCInfo(lcServer) << method.c_str() << ClientText::printable(QString::fromStdString(path))
                     << res.status << size.constData();
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
    if (!m_public->handle(req, res))
        res.status = 404;
}
