#pragma once

#include <QString>

// Moments of the start (main, the application object, the embedded server,
// the first tab, the first frame) on the system's monotonic clock, which a
// program that started this process reads too: the start-up benchmark
// tells from them where the time went.
class StartupMarks {
public:
    static void mark(const char* name);
    // "name=milliseconds" for each mark, in order, separated by blanks.
    static QString summary();
    // Milliseconds on the monotonic clock, the same in every process.
    static double nowMs();
};
