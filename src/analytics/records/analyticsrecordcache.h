#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// The file that keeps unsent analytics records from one use of the
// application to the next: a JSON object whose "body" holds the record lists
// under their report names. It is replaced whole (write, flush to disk,
// rename), so a process killed at any moment leaves either the old file or
// the new one, never a torn one.
class AnalyticsRecordCache {
public:
    // ".<bundle id>_analyticsCache.plist" in `folder`.
    static QString fileName(const QString& bundleIdentifier);

    explicit AnalyticsRecordCache(QString path);
    QString path() const { return m_path; }

    // The "body" of the file; nothing when there is no file or an empty body.
    // A file that cannot be read as such, or one too large to be a cache, is
    // deleted with a log line.
    std::optional<QJsonObject> load() const;
    // False (with a log line) when the file could not be written; the old
    // file then stays as it was.
    bool save(const QJsonObject& body) const;
    void remove() const;
    bool exists() const;

    // The records kept for the next report, at most; beyond it the oldest
    // events make room (and the next report counts them).
    static constexpr qsizetype kMaxRecords = 100'000;
    // A full cache of this application's events takes about 20 MB, of
    // events with the longest identifiers about 35 MB; a file beyond this
    // was not written by the cache and is not read into memory at all.
    static constexpr qint64 kMaxFileBytes = 64 << 20;

private:
    QString m_path;
};
