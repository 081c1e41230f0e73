#pragma once

#include <QString>
#include <functional>
#include <mutex>
#include <optional>

class AnalyticsService;

// Decides after each launch, end of use and event whether a report goes out
// now, and keeps the one report under way from being joined by a second.
class AnalyticsJob {
public:
    enum Kind { Launch = 0, Terminate = 1, Event = 2 };

    struct Inputs {
        int kind = Launch;
        int policy = 0;
        bool appBeKilling = false;
        bool appInBackGround = false;
        bool launchHasBegan = false;
        QString accessString;
        double sendInterval = 90.0;
        // Seconds since 1970 of the last report that went out, if any.
        std::optional<double> lastPostInterval;
        double now = 0;
        // "yyyy-MM-dd" of the last report and of today.
        QString lastPostDate;
        QString today;
    };

    // The installed service's.
    static AnalyticsJob& sharedInstance();

    explicit AnalyticsJob(AnalyticsService& service);
    AnalyticsJob(const AnalyticsJob&) = delete;
    AnalyticsJob& operator=(const AnalyticsJob&) = delete;

    // The decision alone, from everything it depends on.
    static bool shouldSend(const Inputs& inputs);

    // Unless a report is under way, marks one and decides on the queue
    // whether it goes out: `commit` sends it, or the mark is cleared.
    void preparePerformJob(int kind);
    bool isRunning() const;
    // Marks a report under way; false when one already is.
    bool tryBegin();
    void finish();

    // Runs under the job's lock, so lists being reported are not cleared
    // while a report is under way: `f` gets whether one is.
    void withLock(const std::function<void(bool running)>& f);

    using Queue = std::function<void(std::function<void()>)>;
    // Where decisions run, and what sends a report (ending with finish());
    // the analytics internals install both.
    void setPerformer(Queue queue, std::function<void()> commit);

private:
    void completeInputs(Inputs& inputs) const;

    AnalyticsService& m_service;
    mutable std::mutex m_mutex;
    bool m_running = false;
    Queue m_queue;
    std::function<void()> m_commit;
};
