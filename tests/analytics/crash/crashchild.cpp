// Installs crash capture in a folder and then ends in the way its mode says:
//   analytics_crashchild FOLDER MODE
// Exit status 2: bad arguments; 3: capture not installed; 4: survived a crash.
#include "analytics/crash/analyticscrash.h"

#include <QFile>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <map>
#include <stdexcept>
#include <string_view>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kSurvived = 4;

void install(const QString& folder) {
    if (!AnalyticsCrash::sharedInstance().installUncaughtExceptionHandler(folder, "2.5.1"))
        std::exit(3);
    // These crashes are wanted; they should not leave core files behind.
    prctl(PR_SET_DUMPABLE, 0);
}

// The faults are wanted: a sanitizer build must let them reach the fault
// handlers rather than report them itself.
#define VANTORO_REAL_FAULT __attribute__((no_sanitize("address", "undefined")))

// Volatile on both sides, or the compiler drops the store (and below, turns
// the division into a comparison).
VANTORO_REAL_FAULT void nullWrite() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

void illegalInstruction() {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("ud2");
#else
    raise(SIGILL);
#endif
}

// Integer division by zero traps on x86 only; elsewhere the signal is sent.
VANTORO_REAL_FAULT void divideByZero() {
#if defined(__x86_64__) || defined(__i386__)
    volatile int one = 1;
    volatile int zero = 0;
    volatile int quotient = one / zero;
    (void)quotient;
#else
    raise(SIGFPE);
#endif
}

// Reading a page of a mapping whose file was truncated under it.
VANTORO_REAL_FAULT void busError(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder + "/mapped.bin");
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const long page = sysconf(_SC_PAGESIZE);
    if (fd < 0 || ftruncate(fd, page) != 0)
        return;
    auto* mapped = static_cast<volatile char*>(mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0));
    unlink(path.constData());
    if (mapped == MAP_FAILED || ftruncate(fd, 0) != 0)
        return;
    (void)mapped[0];
}

volatile int g_depth = 0;

int recurse() {
    volatile char frame[512];
    g_depth = g_depth + 1;
    frame[0] = char(g_depth);
    // Never true, but keeps the recursion from looking endless to the compiler.
    if (g_depth < 0)
        return 0;
    return recurse() + frame[0];
}

// Bounded even where the shell allows an unlimited stack.
void overflowStack() {
    rlimit limit{8 << 20, 8 << 20};
    setrlimit(RLIMIT_STACK, &limit);
    recurse();
}

void onWorkerThread(void (*body)()) {
    std::thread(body).join();
}

using Mode = std::function<int(const QString& folder)>;

// Returning at all means the fault did not end the process.
Mode crashBy(void (*fault)()) {
    return [fault](const QString& folder) {
        install(folder);
        fault();
        return kSurvived;
    };
}

const std::map<std::string_view, Mode> kModes = {
    {"segv", crashBy(nullWrite)},
    {"segv-thread", crashBy([] { onWorkerThread(nullWrite); })},
    {"fpe", crashBy(divideByZero)},
    {"ill", crashBy(illegalInstruction)},
    {"abrt", crashBy(std::abort)},
    {"bus",
     [](const QString& folder) {
         install(folder);
         busError(folder);
         return kSurvived;
     }},
    {"overflow", crashBy(overflowStack)},
    {"exception", crashBy([] { throw std::runtime_error("crash child threw on purpose"); })},
    {"exception-thread",
     crashBy([] { onWorkerThread([] { throw std::logic_error("worker thread threw"); }); })},
    {"throw-int", crashBy([] { throw 42; })},
    // Ends normally after saying so, as an orderly quit does.
    {"exit",
     [](const QString& folder) {
         install(folder);
         AnalyticsCrash::sharedInstance().removeOwnFile();
         return 0;
     }},
    // Ends normally without removing its file.
    {"exit-keep",
     [](const QString& folder) {
         install(folder);
         return 0;
     }},
    // Runs until it is killed.
    {"wait",
     [](const QString& folder) {
         install(folder);
         for (;;)
             pause();
         return 0;
     }},
};
} // namespace

int main(int argc, char** argv) {
    const auto mode = argc == 3 ? kModes.find(argv[2]) : kModes.end();
    if (mode == kModes.end()) {
        std::fprintf(stderr, "usage: analytics_crashchild FOLDER MODE\n");
        return 2;
    }
    return mode->second(QFile::decodeName(argv[1]));
}
