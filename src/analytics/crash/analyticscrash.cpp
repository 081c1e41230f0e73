#include "analytics/crash/analyticscrash.h"

#include "analytics/crash/elfimageinfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <limits>
#include <string>
#include <string_view>
#include <unistd.h>

// Crash file: one JSON line written at install ({"appVersion", "image",
// "pid"}); after a crash, the reason, a NUL byte, and one line per stack
// frame as backtrace_symbols_fd prints them.
namespace {
constexpr int kFatalSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS};
constexpr int kMaxFrames = 128;

// By the platform's constants, not by number: SIGBUS is 10 on Apple systems
// but 7 here, where 10 is SIGUSR1.
const char* signalName(int signal) {
    switch (signal) {
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGTRAP:
        return "SIGTRAP";
    default:
        return "(null)";
    }
}

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text.remove_prefix(size_t(written));
    }
}

// Handlers go before the report is written, so that a fault while reporting
// takes the default path; SIGPIPE as well, so no handler of the application
// runs any more.
void removeHandlers() {
    for (int signal : kFatalSignals)
        ::signal(signal, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
}

std::string exceptionReason() {
    const std::exception_ptr exception = std::current_exception();
    if (!exception)
        return "terminate called without an active exception";
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void installAlternateStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return;
    // Never freed: a fault during the last moments of the process still
    // needs it.
    const size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
    stack_t stack{};
    stack.ss_sp = new char[size];
    stack.ss_size = size;
    sigaltstack(&stack, nullptr);
}

void installSignalHandlers(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (int signal : kFatalSignals)
        sigaction(signal, &action, nullptr);
}

QString crashText(const QString& reason, const QStringList& stack) {
    QString description = QStringLiteral("(");
    for (qsizetype i = 0; i < stack.size(); ++i)
        description += QStringLiteral("\n    ") + stack[i] + (i + 1 < stack.size() ? "," : "");
    description += QStringLiteral("\n)");
    return reason + QStringLiteral("\n(null)\n") + description;
}

struct CrashFile {
    bool readable = false;
    bool crashed = false;
    AnalyticsCrash::Report report;
};

CrashFile parseCrashFile(const QByteArray& content) {
    CrashFile file;
    // The handlers are installed only once the header line is complete, so a
    // file without one (its process was killed while starting) holds no crash.
    const qsizetype headerEnd = content.indexOf('\n');
    if (headerEnd < 0) {
        file.readable = true;
        return file;
    }
    const QJsonObject header = QJsonDocument::fromJson(content.first(headerEnd)).object();
    if (!header.value("image").isObject() || !header.value("appVersion").isString())
        return file;
    file.readable = true;
    file.report.imageInfo = header.value("image").toObject().toVariantMap();
    file.report.appVersion = header.value("appVersion").toString();
    const QByteArray crash = content.mid(headerEnd + 1);
    if (crash.isEmpty())
        return file;
    file.crashed = true;
    // A report cut short by a second fault still names its reason.
    const qsizetype reasonEnd = crash.indexOf('\0');
    QStringList stack;
    if (reasonEnd >= 0)
        for (const QByteArray& line : crash.mid(reasonEnd + 1).split('\n'))
            if (!line.isEmpty())
                stack.append(QString::fromUtf8(line));
    const QByteArray reason = reasonEnd >= 0 ? crash.first(reasonEnd) : crash;
    file.report.crashText = crashText(QString::fromUtf8(reason), stack);
    return file;
}

bool isRunning(qint64 pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}
} // namespace

AnalyticsCrash& AnalyticsCrash::sharedInstance() {
    static AnalyticsCrash instance;
    return instance;
}

// A fault on another thread meanwhile gives the report a second to finish
// and end the process before dying itself.
bool AnalyticsCrash::claimReport() {
    if (!m_fired.exchange(true))
        return true;
    timespec wait{1, 0};
    while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
    }
    return false;
}

// Only async-signal-safe calls: write, backtrace (loaded at install),
// backtrace_symbols_fd, fsync.
void AnalyticsCrash::writeReport(std::initializer_list<std::string_view> reason) const {
    for (std::string_view part : reason)
        writeAll(m_fd, part);
    writeAll(m_fd, std::string_view("\0", 1));
    void* frames[kMaxFrames];
    backtrace_symbols_fd(frames, backtrace(frames, kMaxFrames), m_fd);
    fsync(m_fd);
}

void AnalyticsCrash::onSignal(int signal) {
    AnalyticsCrash& capture = sharedInstance();
    const bool first = capture.claimReport();
    removeHandlers();
    if (first)
        capture.writeReport({"Application received signal ", signalName(signal)});
    // The signal stays blocked until the handler returns, then the default
    // action ends the process with it; a synchronous fault would also recur.
    raise(signal);
}

// Not in a signal handler, so the exception may be examined normally.
void AnalyticsCrash::onTerminate() {
    AnalyticsCrash& capture = sharedInstance();
    const bool first = capture.claimReport();
    removeHandlers();
    if (first) {
        const std::string reason = exceptionReason();
        capture.writeReport({reason});
    }
    std::abort();
}

bool AnalyticsCrash::installUncaughtExceptionHandler(const QString& folder,
                                                     const QString& appVersion) {
    QMutexLocker lock(&m_mutex);
    if (m_installed)
        return true;
    if (!openOwnFile(folder, appVersion))
        return false;
    installAlternateStack();
    // The first backtrace() loads the unwinder, which allocates; done here, a
    // handler's call only walks the stack.
    void* frame = nullptr;
    backtrace(&frame, 1);
    std::set_terminate(onTerminate);
    installSignalHandlers(onSignal);
    m_installed = true;
    return true;
}

bool AnalyticsCrash::openOwnFile(const QString& folder, const QString& appVersion) {
    const qint64 pid = QCoreApplication::applicationPid();
    // The start time keeps a new process from overwriting a pending report
    // of an earlier one that had the same id.
    const QString path = QDir(folder).filePath(
        QStringLiteral("crash-%1-%2.log").arg(QDateTime::currentMSecsSinceEpoch()).arg(pid));
    QJsonObject header;
    header["appVersion"] = appVersion;
    header["image"] = QJsonObject::fromVariantMap(ElfImageInfo::mainProgram());
    header["pid"] = pid;
    const QByteArray line = QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n';

    QDir().mkpath(folder);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, line.constData(), size_t(line.size())) != line.size()) {
        qWarning("Analytics crash capture not installed: cannot write %s: %s", qPrintable(path),
                 strerror(errno));
        if (fd >= 0) {
            ::close(fd);
            QFile::remove(path);
        }
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

void AnalyticsCrash::removeOwnFile() {
    QMutexLocker lock(&m_mutex);
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_path.clear();
}

QList<AnalyticsCrash::Report> AnalyticsCrash::takePendingReports(const QString& folder,
                                                                 qint64 ownPid) {
    static const QRegularExpression name(QStringLiteral("^crash-\\d+-(\\d+)\\.log$"));
    const QDir dir(folder);
    QList<Report> reports;
    // Sorted by name, that is by start time: oldest crash first.
    for (const QString& entry :
         dir.entryList({QStringLiteral("crash-*.log")}, QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = name.match(entry);
        const qint64 pid = match.captured(1).toLongLong();
        if (!match.hasMatch() || pid == ownPid || isRunning(pid))
            continue;
        QFile file(dir.filePath(entry));
        const bool opened = file.open(QIODevice::ReadOnly);
        const CrashFile crash = opened ? parseCrashFile(file.readAll()) : CrashFile();
        file.close();
        file.remove();
        if (!crash.readable)
            qWarning("Analytics crash: deleted unreadable crash file %s",
                     qPrintable(file.fileName()));
        else if (crash.crashed)
            reports.append(crash.report);
    }
    return reports;
}
