#pragma once

#include "server/http/clientbuckets.h"
#include "server/http/httprouter.h"
#include "server/pages/landingpagecache.h"
#include "server/reportintake.h"
#include "server/store/writehealth.h"

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class ContentFolder;
class ServerMetrics;
class RenderedPages;
class ReportStore;

// What players and their share links reach: the hot-issue pages, the city
// ranking, the two share landing pages, the report collector and the health
// check. Made at each start, with what that start opened.
class PublicRoutes {
public:
    // `lungComments` is the lung test's comment table by key; `publicUrl`
    // gives what the landing pages' own links start with, once the server
    // is listening; `metrics` counts what becomes of each report.
    PublicRoutes(ContentFolder& content, ReportStore& store,
                 const QHash<QString, QString>& lungComments, std::function<QString()> publicUrl,
                 ServerMetrics& metrics, double recordsPerSecond = kDefaultRecordsPerSecond);

    // False when no public route has the request's method and path.
    bool handle(const HttpRequest& req, HttpResponse& res);

    static constexpr qsizetype kMaxReport = 8 << 20;
    // What a report refused for want of a store is told to wait.
    static constexpr int kRetryAfterSeconds = 30;
    // What a report is told to wait while the collector's queue is full.
    static constexpr int kBusyRetryAfterSeconds = 5;
    // What one client may send by default, in records a second: the
    // application sends a report of at most 5,000 records now and then, so
    // a client over this is many players behind one address or not the
    // application. A client may send 20 seconds' worth at once (and at
    // least one report of the most records a report may have), and 256
    // compressed bytes a record. 0 takes no limit.
    static constexpr double kDefaultRecordsPerSecond = 1000;

private:
    void install();
    // The pages of the content as it is now, rendered at its first request.
    std::shared_ptr<const RenderedPages> pages();
    void healthz(HttpResponse& res);
    void article(const HttpRequest& req, HttpResponse& res);
    void ranking(HttpResponse& res);
    void lungResult(const HttpRequest& req, HttpResponse& res);
    void smogResult(const HttpRequest& req, HttpResponse& res);
    void report(const HttpRequest& req, HttpResponse& res);
    struct Sender {
        QString address;
        std::string clientKey;
    };
    void takeReport(const QByteArray& compressed, const std::string& encoding, const Sender& sender,
                    HttpResponse& res);
    void sendSlowDown(HttpResponse& res, int seconds);
    void answerIntake(const ReportIntake::Answer& answer, HttpResponse& res);
    void noteIntake(const ReportIntake::Answer& answer);

    ContentFolder& m_content;
    ReportStore& m_store;
    ServerMetrics& m_metrics;
    const QHash<QString, QString>& m_lungComments;
    const std::function<QString()> m_publicUrl;
    HttpRouter m_router;
    std::mutex m_pagesMutex;
    std::shared_ptr<const RenderedPages> m_pages;
    LandingPageCache m_landingPages;
    WriteHealth m_writeHealth{m_store};
    // Null without a limit.
    std::unique_ptr<ClientBuckets> m_reportBytes;
    std::unique_ptr<ClientBuckets> m_reportRecords;
};
