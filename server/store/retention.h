#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class ReportStore;

// Keeps a store to the reports of its last days: once when started and then
// every day, on a thread of its own, it takes away the records of the UTC
// days that ended more than `keepDays` days ago (a record without a ts goes
// by its report's arrival) and the report rows left without records. It
// works in small batches with a pause between them, so that reports being
// stored meanwhile wait for one batch at most.
class Retention {
public:
    struct Run {
        bool ok = false;
        qint64 records = 0;
        qint64 reports = 0;
        qint64 ms = 0;
    };

    Retention(ReportStore& store, int keepDays, int batch = kBatch);
    // Stops the thread; the store may be closed after that.
    ~Retention();
    Retention(const Retention&) = delete;
    Retention& operator=(const Retention&) = delete;

    // Seconds since 1970 of the start of the first UTC day kept as of
    // `now`: a day is removed once all of it is `keepDays` days old, and
    // nothing younger is.
    static double cutoff(const QDateTime& now, int keepDays);

    // One removal as of `now`, batch by batch until nothing is left to
    // remove, a batch fails or stop() is called; logs one line.
    Run run(const QDateTime& now);
    // Runs now and then every kPeriod until stop().
    void start();
    // Ends a run under way after its current batch and waits for the thread.
    void stop();

    static constexpr int kBatch = 1000;
    static constexpr std::chrono::hours kPeriod{24};
    // Between batches: long enough for a waiting report to take the store.
    static constexpr std::chrono::milliseconds kPause{1};

private:
    void loop();

    ReportStore& m_store;
    const int m_keepDays;
    const int m_batch;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};
