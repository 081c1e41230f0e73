#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

struct sqlite3;

// The analytics reports the collector has received, in an SQLite file. The
// uploader retries until it hears back, so the same record can arrive more
// than once; a record id is kept only the first time it is seen.
class ReportStore {
public:
    struct Record {
        QString id; // null when the record carries none
        QByteArray json;
    };

    struct Outcome {
        bool ok = false;
        int stored = 0;
        int duplicates = 0;
    };

    ReportStore() = default;
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // Opens (creating when needed) the database file; false with a reason.
    bool open(const QString& path, QString* error);
    bool isOpen() const;
    void close();

    // A report is a JSON object; every element of its lists that is an object
    // is a record, whose "id" (when present) must be a string. Null with a
    // reason for anything else. `droppedRecords` gets the header's count of
    // records the application dropped unsent (0 when it names none).
    static std::optional<QList<Record>> parseReport(const QByteArray& json, QString* error,
                                                    qint64* droppedRecords = nullptr);

    // Keeps the report and its records not seen before, all or nothing.
    Outcome store(const QByteArray& body, const QList<Record>& records);

    int reportCount() const;
    // What the reports kept say the application dropped unsent, in all.
    qint64 droppedRecords() const;
    // The record ids kept, in the order they arrived.
    QStringList recordIds() const;
    // The records kept, as JSON, in the order they arrived.
    QList<QByteArray> recordBodies() const;

private:
    bool exec(const char* sql);

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};
