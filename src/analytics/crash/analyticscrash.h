#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <initializer_list>
#include <string_view>

// Turns a crash of this process (a fatal signal or an uncaught C++ exception)
// into an error report that the next launch delivers.
//
// A dying process can do very little safely, so the work is split: at install
// time ordinary code opens this process's crash file and writes the identity
// of the executable into it; when a crash comes, the handler only appends the
// reason and the raw call stack with write() and lets the process die of the
// same signal. The next launch reads the files of dead processes back into
// reports and deletes them.
class AnalyticsCrash {
public:
    struct Report {
        // Reason, "(null)" and the call-stack description, one per line.
        QString crashText;
        // image_name, image_base_address, slide_address, binary_uuid, cpu_arch.
        QVariantMap imageInfo;
        QString appVersion;
    };

    // Fault handlers belong to the whole process, and so does their capture.
    static AnalyticsCrash& sharedInstance();

    // Installs the handlers for SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS and
    // for uncaught exceptions, writing into a file of this process in folder.
    // Only the calling thread gets an alternate signal stack, so a stack
    // overflow is caught on that thread only; faults on other threads are
    // caught on their own stacks. False, with a log line, when the file
    // cannot be written; true and nothing more once installed.
    bool installUncaughtExceptionHandler(const QString& folder, const QString& appVersion);

    // At an orderly quit: this process did not crash, nothing to report. The
    // handlers stay, but a crash after this point is no longer reported.
    void removeOwnFile();

    // One report per crash file of an earlier, no longer running process in
    // folder; every file looked at is deleted, also those without a crash.
    static QList<Report> takePendingReports(const QString& folder, qint64 ownPid);

private:
    AnalyticsCrash() = default;
    bool openOwnFile(const QString& folder, const QString& appVersion);

    // The handlers reach the capture through sharedInstance(), initialised
    // long before they can run; they use only m_fd and m_fired.
    static void onSignal(int signal);
    [[noreturn]] static void onTerminate();
    // Only the first fault reports; a later one waits for it.
    bool claimReport();
    void writeReport(std::initializer_list<std::string_view> reason) const;

    QMutex m_mutex;
    bool m_installed = false;
    QString m_path;
    // Opened once and never closed: a handler writing after a close could
    // hit a descriptor number reused for some other file.
    int m_fd = -1;
    std::atomic<bool> m_fired{false};
};
