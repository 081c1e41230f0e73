// What a blow costs the processor: the process's CPU time over a stretch of
// blowing replayed from a level trace (the real clock and queues, a level
// that never ends the blow), as a share of one core, next to the same
// process idle in its event loop for as long.
//   bench_blowcpu [seconds]   (10 by default)

#include "benchoutput.h"
#include "blow/qmxblewer.h"
#include "cpuusage.h"
#include "platform/audio/leveltrace.h"
#include "platform/audio/tracerecorder.h"
#include "support/recordingdelegate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 10.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }

    // A strong level from the first moment: the first waiting poll starts
    // the blow, and the lung test's threshold is never crossed downwards.
    LevelTrace::ParseError error;
    const auto trace = LevelTrace::parse(u"0 -4.0", &error);
    if (!trace)
        return 1;
    AudioRecorder::setFactory([&](const QString& path, const QVariantMap&) {
        return std::make_shared<TraceRecorder>(*trace, path);
    });

    std::printf("measuring %.1f s idle, then %.1f s of replayed blowing\n", seconds, seconds);
    std::fflush(stdout);
    const CpuUsage idleStart = CpuUsage::sample();
    runEventLoop(seconds);
    const double idle = CpuUsage::sample().percentOfCoreSince(idleStart);

    QMXBlewer detector;
    RecordingDelegate delegate;
    detector.setBlewdelegate(&delegate);
    detector.setIsPlay(false);
    detector.blowAirstart();
    for (int i = 0; i < 100 && delegate.levels().isEmpty(); ++i)
        runEventLoop(0.01);
    if (delegate.levels().isEmpty()) {
        std::fprintf(stderr, "the replayed blow did not start\n");
        return 1;
    }
    const qsizetype updatesBefore = delegate.levels().size();
    const CpuUsage blowStart = CpuUsage::sample();
    runEventLoop(seconds);
    const CpuUsage blowEnd = CpuUsage::sample();
    const double blowing = blowEnd.percentOfCoreSince(blowStart);
    const double updates = double(delegate.levels().size() - updatesBefore);
    detector.stopBlew();
    runEventLoop(0.1);

    benchPrint("cpu.window_s", seconds);
    benchPrint("cpu.idle_percent", idle, "baseline, same run");
    benchPrint("cpu.trace_blowing_percent", blowing, "target < 1 % of one core");
    benchPrint("cpu.trace_blowing_minus_idle_percent", blowing - idle);
    benchPrint("cpu.trace_blowing_updates", updates);
    benchPrint("cpu.trace_blowing_updates_per_s", updates / blowEnd.wallSecondsSince(blowStart));
    benchPrint("cpu.trace_blowing_ends", double(delegate.ends().size()),
               "0: the blow lasted the whole window");
    return 0;
}
