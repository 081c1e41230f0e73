#include "server/contentserver.h"

#include "platform/system/bundle.h"
#include "platform/system/folders.h"
#include "platform/system/localizedstrings.h"
#include "results/blewfogresult.h"
#include "results/blewresultstring.h"
#include "server/contentpages.h"
#include "server/serverlog.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <chrono>
#include <httplib.h>

namespace {

const char* const kHtml = "text/html; charset=utf-8";

void sendPage(httplib::Response& res, int status, const QByteArray& html) {
    res.status = status;
    res.set_content(html.toStdString(), kHtml);
}

void sendError(httplib::Response& res, int status, const QString& message) {
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

void sendJson(httplib::Response& res, int status, const QJsonObject& object) {
    res.status = status;
    res.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json; charset=utf-8");
}

QString param(const httplib::Request& req, const char* name) {
    return req.has_param(name) ? QString::fromStdString(req.get_param_value(name)) : QString();
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

void ContentServer::setRankingFile(const QString& path) {
    std::lock_guard lock(m_configMutex);
    m_rankingFile = path;
}

QString ContentServer::rankingFile() const {
    std::lock_guard lock(m_configMutex);
    return m_rankingFile.isEmpty()
               ? Bundle::pathForResource(QStringLiteral("pm25rank"), QStringLiteral("json"))
               : m_rankingFile;
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
    return m_store.reportCount();
}

qint64 ContentServer::droppedRecords() const {
    return m_store.droppedRecords();
}

QList<QByteArray> ContentServer::recordBodies() const {
    return m_store.recordBodies();
}

QStringList ContentServer::recordIds() const {
    return m_store.recordIds();
}

bool ContentServer::start(const QString& host, int port) {
    if (m_server) {
        qCWarning(lcServer) << "start: already running at" << baseUrl();
        return false;
    }
    const QString folder = dataFolder();
    QDir().mkpath(folder);
    const QString dbPath = folder + QStringLiteral("/reports.sqlite");
    QString dbError;
    // Pages do not need the database; without it only the collector answers 503.
    if (!m_store.open(dbPath, &dbError))
        qCWarning(lcServer).noquote() << "cannot open the report database" << dbPath << ':'
                                      << dbError << "- reports will be refused";

    m_server = std::make_unique<httplib::Server>();
    installRoutes();
    const std::string address = host.toStdString();
    int bound = -1;
    if (port == 0)
        bound = m_server->bind_to_any_port(address);
    else if (port > 0 && port <= 65535 && m_server->bind_to_port(address, port))
        bound = port;
    if (bound <= 0) {
        qCWarning(lcServer).noquote() << "cannot listen on" << host << "port" << port;
        m_server.reset();
        m_store.close();
        return false;
    }
    m_host = host;
    m_port = bound;
    m_listenEnded = false;
    m_thread = std::thread([this, server = m_server.get()] {
        server->listen_after_bind();
        m_listenEnded = true;
    });
    // stop() only works on a server that has entered its accept loop, so
    // start() returns once it has.
    while (!m_server->is_running() && !m_listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_listenEnded) {
        qCWarning(lcServer).noquote()
            << "the server on" << host << "port" << bound << "stopped at once";
        stop();
        return false;
    }
    qCInfo(lcServer).noquote() << "serving at" << baseUrl() << "with data in" << folder;
    return true;
}

void ContentServer::stop() {
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
    m_store.close();
    m_port = 0;
}

void ContentServer::installRoutes() {
    httplib::Server& s = *m_server;
    s.set_payload_max_length(size_t(kMaxCompressedReport));
    s.set_read_timeout(10);
    // The library's default also sets SO_REUSEPORT, which lets a second server
    // bind a port that is in use and take half of its requests.
    s.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    s.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                           {"Content-Security-Policy", "default-src 'none'; "
                                                       "style-src 'unsafe-inline'"}});

    s.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        qCInfo(lcServer) << req.method.c_str() << QString::fromStdString(req.path) << res.status
                         << res.body.size() << "bytes";
    });
    // Only the fixed routes below exist: a path that climbs out of the root
    // is refused before routing, whatever it is spelled like.
    s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        const std::string& path = req.path;
        if (path.empty() || path.front() != '/' || path.find("..") != std::string::npos ||
            path.find('\\') != std::string::npos || path.find('\0') != std::string::npos) {
            sendError(res, 404, QStringLiteral("没有这个页面。"));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        sendError(res, res.status,
                  res.status == 404 ? QStringLiteral("没有这个页面。")
                                    : QStringLiteral("请求无法处理。"));
    });
    s.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
            qCWarning(lcServer) << "a handler failed on" << QString::fromStdString(req.path);
            sendError(res, 500, QStringLiteral("服务器内部错误。"));
        });

    s.Get("/", [](const httplib::Request&, httplib::Response& res) {
        sendPage(res, 200, ContentPages::index());
    });
    s.Get("/wechat/getPm25CentralIssue.do", [](const httplib::Request&, httplib::Response& res) {
        sendPage(res, 200, ContentPages::hotIssues());
    });
    s.Get("/wechat/article.do", [](const httplib::Request& req, httplib::Response& res) {
        const int id = boundedNumber(param(req, "id"), 1, ContentPages::articleCount());
        if (id < 0)
            return sendError(res, 404, QStringLiteral("没有这篇文章。"));
        sendPage(res, 200, ContentPages::article(id));
    });
    s.Get("/wechat/getPm25Rank.do", [this](const httplib::Request&, httplib::Response& res) {
        QString error;
        const auto table = RankingTable::load(rankingFile(), &error);
        if (!table) {
            qCWarning(lcServer).noquote() << "ranking unavailable:" << error;
            return sendError(res, 503, QStringLiteral("排行数据暂不可用，请稍后再试。"));
        }
        sendPage(res, 200, ContentPages::ranking(*table));
    });
    s.Get("/wechat/capacityPmShare.do", [this](const httplib::Request& req,
                                               httplib::Response& res) {
        static const QRegularExpression levelShape(QStringLiteral("^[0-3]_[0-9]{1,2}$"));
        const int value = boundedNumber(param(req, "value"), 0, 10000);
        const int percent = boundedNumber(param(req, "percent"), 0, 100);
        const QString level = param(req, "level");
        const QString comment = levelShape.match(level).hasMatch()
                                    ? m_lungComments.value(BlewResultString::keyForShortKey(level))
                                    : QString();
        if (value < 0 || percent < 0 || comment.isEmpty())
            return sendError(res, 400, QStringLiteral("分享链接的参数不正确。"));
        sendPage(res, 200, ContentPages::lungResult(value, percent, comment));
    });
    s.Get("/wechat/getPm25Capacity.do", [](const httplib::Request& req, httplib::Response& res) {
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
        sendPage(res, 200, ContentPages::smogResult(percent, comment));
    });

    s.Post("/analytics/report", [this](const httplib::Request& req, httplib::Response& res,
                                       const httplib::ContentReader& reader) {
        // The body is read to its end before anything is judged, so the
        // connection stays in step; the library inflates it on the way in and
        // the receiver stops an inflated body at its limit.
        std::string body;
        const bool complete = reader([&body](const char* data, size_t size) {
            if (body.size() + size > size_t(kMaxReport))
                return false;
            body.append(data, size);
            return true;
        });
        auto refuse = [&res](const QString& why) {
            qCWarning(lcServer).noquote() << "report refused:" << why;
            res.set_header("Connection", "close");
            sendJson(res, 400, {{QStringLiteral("error"), why}});
        };
        if (!complete)
            return refuse(QStringLiteral("body over %1 bytes compressed or %2 inflated, or not "
                                         "valid compressed data")
                              .arg(kMaxCompressedReport)
                              .arg(kMaxReport));
        const std::string encoding = req.get_header_value("Content-Encoding");
        if (encoding != "gzip" && encoding != "deflate")
            return refuse(QStringLiteral("reports come gzip- or deflate-compressed"));
        const QByteArray json = QByteArray::fromStdString(body);
        QString error;
        qint64 dropped = 0;
        const auto records = ReportStore::parseReport(json, &error, &dropped);
        if (!records)
            return refuse(error);
        // Kept with the report; said here so that a loss is seen at once.
        if (dropped > 0)
            qCWarning(lcServer) << "a report says" << dropped
                                << "records were dropped unsent by the application";
        if (!m_store.isOpen()) {
            res.status = 503;
            return sendJson(res, 503, {{QStringLiteral("error"), QStringLiteral("no database")}});
        }
        const ReportStore::Outcome outcome = m_store.store(json, *records);
        if (!outcome.ok)
            return sendJson(res, 503,
                            {{QStringLiteral("error"), QStringLiteral("the report was not kept")}});
        sendJson(res, 200,
                 {{QStringLiteral("stored"), outcome.stored},
                  {QStringLiteral("duplicates"), outcome.duplicates}});
    });
}
