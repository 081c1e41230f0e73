#pragma once

#include "server/admin/dashboardperiod.h"
#include "server/http/httpresponse.h"

#include <QElapsedTimer>
#include <QString>
#include <QVariantList>
#include <string>

class ReportStore;

// The records kept for a period (by their UTC day, as the figures count
// them) as JSON lines, one per record, by their time and then the order
// they were kept in:
//
//   {"received":"2025-05-01T08:00:00.000Z","client":"app","record":{...}}
//
// `record` is the record as it arrived; `received` and `client` are those
// of its report (null when not known). Read a page at a time after the
// last (ts, row id) given, a keyset rather than an OFFSET, so that each
// page costs the same however far the export has come and no more than one
// page is held whatever the period holds. Each export logs one line when it
// ends, however it ends.
class RecordExport {
public:
    RecordExport(const ReportStore& store, const DashboardPeriod& period);
    ~RecordExport();
    RecordExport(const RecordExport&) = delete;
    RecordExport& operator=(const RecordExport&) = delete;

    // Reads the first page, before the status is sent: false with `error`
    // when the store cannot be read.
    bool start(QString* error);
    // As an HttpResponse::BodyStream: one page of lines each time.
    HttpResponse::Pull next(std::string& piece);

    static constexpr int kPageRecords = 1000;

private:
    bool readPage(QString* error);
    void appendLine(const QVariantList& row);
    void logEnd(const QString& how, bool complete);

    const ReportStore& m_store;
    const DashboardPeriod m_period;
    QElapsedTimer m_clock;
    // The lines of the page read last, not yet given.
    std::string m_page;
    bool m_havePage = false;
    bool m_lastPage = false;
    // Where the next page starts: after this time and row.
    double m_afterTs;
    qint64 m_afterId = 0;
    const double m_endTs;
    qint64 m_records = 0;
    qint64 m_bytes = 0;
    bool m_pulled = false;
    bool m_logged = false;
};
