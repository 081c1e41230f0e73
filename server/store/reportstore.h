#pragma once

#include "server/reports/uploadedreport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The analytics reports the collector has received. The uploader retries
// until it hears back, so the same record can arrive more than once, at any
// of the server processes that share a store: a record id is kept only the
// first time it is seen. Every operation may be called from any thread.
class ReportStore {
public:
    using Record = UploadedReport::Record;
    using Report = UploadedReport;

    struct Outcome {
        bool ok = false;
        int stored = 0;
        int duplicates = 0;
    };

    virtual ~ReportStore() = default;

    // False while the store cannot be reached; a store that lost its
    // database tries again by itself.
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // Keeps the records not seen before and one row that counts the report
    // (`clientClass` may be empty), all or nothing. The report's own text is
    // not kept: the records and the counts are all that is read back.
    virtual Outcome store(const Report& report, const QString& clientClass = {}) = 0;

    // Runs one read-only statement with `?` parameters (null, integer,
    // double or text by the variant's type) and returns its rows: integers
    // as qlonglong, reals as double, text as QString, NULL as a null
    // variant. Empty with `error` set when it fails or would write. Each
    // record also has columns of what the figures need (RecordFacts): kind,
    // event_id, label, ts, day, duration, crash_kind, crash_build,
    // crash_frame, crash_group.
    virtual QList<QVariantList> select(const char* sql, const QVariantList& params,
                                       QString* error) const = 0;
};
