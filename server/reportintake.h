#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringView>
#include <functional>

class ReportStore;
struct UploadedReport;

// What the collector does with an inflated report: the rules it must pass,
// what is kept, and the answer the uploader gets. A refusal (400, 413) says
// the report will never be kept as sent; 503 says it may be later.
class ReportIntake {
public:
    struct Answer {
        int status = 0;
        // {"stored": n, "duplicates": n} or {"error": why}
        QJsonObject body;
        // For 429: the seconds to wait before sending again.
        int retryAfter = 0;
        // For 503: the store was open and failed to keep the report.
        bool storeFailed = false;
    };
    // The seconds the sender must wait before a report of `records` records
    // is kept, or 0 when it may be kept now (and is counted).
    using RecordAllowance = std::function<int(qsizetype records)>;

    explicit ReportIntake(ReportStore& store);

    // `clientAddress` is the sender's IP address as text, or empty. A report
    // the allowance holds back is answered 429 and not kept.
    Answer take(QByteArrayView json, QStringView clientAddress = {},
                const RecordAllowance& allowance = {});

    // "loopback", "private", "link-local" or "public" for an IP address in
    // text; empty for anything else.
    static QString addressClass(QStringView address);

    // The application sends at most 5,000 records a report; a report over
    // this is refused before it is read to its end.
    static constexpr qsizetype kMaxRecords = 20000;

    static constexpr double kMaxAheadSeconds = 24 * 3600;

private:
    static Answer refused(int status, const QString& why);
    static void dateAtArrivalWhenAhead(UploadedReport& report);

    ReportStore& m_store;
};
