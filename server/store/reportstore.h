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

    // What one removeBefore() took away.
    struct Removal {
        bool ok = false;
        qint64 records = 0;
        qint64 reports = 0;
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

    // The operator's sign-ins, kept here so that every server process on
    // the store knows them and a sign-out ends one everywhere. A session is
    // known by a digest of its id only: what the table holds opens nothing.
    // Times are seconds since the epoch, by the caller's clock.
    enum class SessionState { Valid, Invalid, Unreachable };
    // Keeps a session until `expires`, dropping those over by `now`; false
    // when the store cannot keep it.
    virtual bool beginSession(const QByteArray& digest, qint64 expires, qint64 now) = 0;
    // Invalid for a digest not kept or expired by `now`.
    virtual SessionState sessionState(const QByteArray& digest, qint64 now) const = 0;
    // False when the store cannot be reached; the session then lasts until
    // it expires.
    virtual bool endSession(const QByteArray& digest) = 0;

    // Writes a row and takes it away again in one transaction: whether the
    // store can keep a report now (a full disk, a read-only file or a lock
    // held elsewhere say no). Waits for no lock.
    virtual bool probeWrite() = 0;

    // Takes away at most `batch` rows older than `ts` (seconds since 1970)
    // in one short transaction: first records whose ts is before it, then
    // records without a ts whose report was received before it, then, once
    // no such record is left, report rows received before it that have no
    // record any more. Called again until it removes nothing, so that a
    // large removal never holds the store for long. Not ok (nothing
    // removed) when the store cannot be written.
    virtual Removal removeBefore(double ts, int batch) = 0;
};
