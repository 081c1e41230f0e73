#pragma once

#include "server/admin/admintoken.h"
#include "server/content/contentproblem.h"
#include "server/http/trustedproxies.h"
#include "server/metrics/servermetrics.h"
#include "server/publicroutes.h"
#include "server/store/reportstore.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class AdminRoutes;
class QLockFile;
class Retention;
class ContentFolder;
class HttpServer;
struct HttpRequest;
struct HttpResponse;

// The content server the application's web tabs and share links point at:
// the hot-issue pages, the city ranking, the two share landing pages and the
// collector for analytics reports. It serves on threads of its own; everything
// here may be called from any one thread that owns the object.
class ContentServer {
public:
    ContentServer();
    ~ContentServer();
    ContentServer(const ContentServer&) = delete;
    ContentServer& operator=(const ContentServer&) = delete;

    // Port 0 takes a free port. False (with a log line) when the address
    // cannot be bound or the server is already running.
    bool start(const QString& host = QStringLiteral("127.0.0.1"), int port = 0);
    // Stops at once, whatever the clients are doing.
    void stop();
    // Stops taking connections, lets the requests under way finish for at
    // most `limit` (HttpServer::shutdown()), then stops; logs a line when it
    // begins and one when it is done.
    void shutdown(std::chrono::milliseconds limit);
    bool isRunning() const;
    // 0 while stopped.
    int port() const;
    // "http://HOST:PORT" with a wildcard host shown as 127.0.0.1; empty while stopped.
    QString baseUrl() const;

    // Where the report database lives; Folders::home() + "/server" unless set.
    // Takes effect at the next start().
    void setDataFolder(const QString& folder);
    QString dataFolder() const;
    // Where the reports are kept (see ReportStores); the SQLite file
    // reports.sqlite in the data folder unless set. Takes effect at the
    // next start().
    void setDatabaseUrl(const QString& url);
    QString databaseUrl() const;
    // The folder the articles and the ranking are read from and watched in
    // (see ContentFolder); empty for the sample content of the bundle.
    // Takes effect at the next start().
    void setContentFolder(const QString& folder);
    QString contentFolder() const;
    // Content files that could not be used, for the operator; empty while
    // stopped. This and replaceRanking() may also be called from the serving
    // threads (an admin route) while the server runs.
    QList<ContentProblem> contentProblems() const;
    // Validates and stores a new ranking in the content folder; the next page
    // shows it. False with a reason for a body that does not parse, for the
    // sample content and while stopped.
    bool replaceRanking(const QByteArray& json, QString* error);

    // Opens /admin to the holder of this token at the next start(). Without
    // one (as inside the application) there is no /admin at all.
    void setAdminToken(const AdminToken& token);
    // The address players reach this server at, behind a reverse proxy; the
    // landing pages' absolute links use it. Empty for baseUrl().
    void setPublicUrl(const QUrl& url);
    QUrl publicUrl() const;

    // The reverse proxies whose X-Forwarded-For or Forwarded header names the
    // client (see TrustedProxies); none by default. Takes effect at the next
    // start().
    void setTrustedProxies(const TrustedProxies& proxies);

    // Records a second one client may send, on average (see PublicRoutes);
    // 0 for no limit. Takes effect at the next start().
    void setClientRecordsPerSecond(double rate);
    double clientRecordsPerSecond() const;

    // Records older than this many days are removed at start() and then
    // daily (see Retention); 0 keeps them for ever. Takes effect at the
    // next start().
    void setKeepDays(int days);
    int keepDays() const;

    // Takes a lock beside an SQLite database at start(), so that a second
    // server process on the same file is refused at its start rather than
    // left to fight over the file: several processes share PostgreSQL.
    void setLockSqliteStore(bool lock);

    // The store the last start() opened, kept after stop() so that what it
    // holds can still be read; null before the first start.
    const ReportStore* reportStore() const { return m_store.get(); }

    static constexpr qsizetype kMaxCompressedReport = 1 << 20;
    static constexpr qsizetype kMaxReport = PublicRoutes::kMaxReport;
    static constexpr int kRetryAfterSeconds = PublicRoutes::kRetryAfterSeconds;

private:
    bool lockStore();
    void openContent();
    void openAdmin();
    // What start() opened besides the HTTP server, once it has stopped.
    void closeAfterServing();
    HttpResponse handle(const HttpRequest& req);
    // Counts an answer made later when it is made, or its stand-in when no
    // worker takes it.
    void measureLater(HttpResponse& res, const HttpRequest& req,
                      std::chrono::steady_clock::time_point began);
    void noteAnswer(const std::string& path, int status,
                    std::chrono::steady_clock::time_point began);
    HttpResponse refusalPage(int status);
    void sendMetrics(HttpResponse& res) const;
    // Runs a handler; an exception it throws becomes a 500 answer.
    static void guarded(const std::string& path, const std::function<void()>& work,
                        HttpResponse& res);
    // What every answer gets: an error page when it has none, the common
    // headers, a log line.
    static void finish(const std::string& method, const std::string& path, HttpResponse& res);
    void route(const HttpRequest& req, HttpResponse& res);

    // Counts for the life of this object, across restarts, as a scraper
    // expects of a counter.
    ServerMetrics m_metrics;
    std::unique_ptr<HttpServer> m_server;
    bool m_lockSqliteStore = false;
    std::unique_ptr<QLockFile> m_storeLock;
    // Made at start(); kept after stop() so that what it holds can be read.
    std::unique_ptr<ReportStore> m_store;
    // Made at start() when records are not kept for ever; stopped before
    // the store closes.
    std::unique_ptr<Retention> m_retention;
    QString m_databaseUrl;
    QHash<QString, QString> m_lungComments;
    mutable std::mutex m_configMutex;
    QString m_dataFolder;
    QString m_contentFolder;
    // Made at start() and dropped at stop(), while no request is served.
    std::unique_ptr<ContentFolder> m_content;
    std::unique_ptr<AdminRoutes> m_admin;
    std::unique_ptr<PublicRoutes> m_public;
    std::optional<AdminToken> m_adminToken;
    QUrl m_publicUrl;
    double m_recordsPerSecond = PublicRoutes::kDefaultRecordsPerSecond;
    TrustedProxies m_trustedProxies;
    int m_keepDays = 0;
    QString m_host;
    int m_port = 0;
};
