// How long a change of blowing strength takes to reach the screen: a level
// trace changes grade every 137 ms during one long blow, and for each change
// the benchmark takes the time from the change to the delegate's
// BlowAirupdataState with the new grade on the main thread. The reference is
// the detector's 20 ms blowing poll, also measured in this run as the median
// interval between successive updates.

#include "benchoutput.h"
#include "blow/qmxblewer.h"
#include "platform/audio/leveltrace.h"
#include "platform/audio/tracerecorder.h"
#include "platform/system/clock.h"
#include "samplestats.h"
#include "support/recordingdelegate.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <iterator>
#include <memory>

namespace {

struct Grade {
    int level;
    float db;
};

// A level inside each grade's band of the lung test, in an order in which
// neighbours always differ, so that every change shows as a new grade.
constexpr Grade kGrades[] = {{8, -1.0f}, {5, -6.0f}, {7, -2.5f}, {4, -9.0f}, {6, -4.0f}};
constexpr int kGradeCount = int(std::size(kGrades));
constexpr double kLead = 0.5;
// Not a multiple of the poll, so that the changes fall at every phase of it.
constexpr double kStep = 0.137;
// The first change starts the blow through the waiting loop's 100 ms poll
// and is not counted.
constexpr int kChanges = 201;

QString traceText() {
    QString text = QStringLiteral("0 -160\n");
    for (int i = 0; i < kChanges; ++i)
        text += QStringLiteral("%1 %2\n")
                    .arg(kLead + i * kStep, 0, 'f', 6)
                    .arg(double(kGrades[i % kGradeCount].db));
    text += QStringLiteral("%1 -160\n").arg(kLead + kChanges * kStep, 0, 'f', 6);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);

    LevelTrace::ParseError error;
    const auto trace = LevelTrace::parse(traceText(), &error);
    if (!trace) {
        std::fprintf(stderr, "trace line %d: %s\n", error.line, qPrintable(error.message));
        return 1;
    }
    std::shared_ptr<TraceRecorder> recorder;
    AudioRecorder::setFactory([&](const QString& path, const QVariantMap&) {
        recorder = std::make_shared<TraceRecorder>(*trace, path);
        return recorder;
    });

    QMXBlewer detector;
    RecordingDelegate delegate;
    detector.setBlewdelegate(&delegate);
    detector.setIsPlay(false);
    QObject::connect(&delegate, &RecordingDelegate::ended, &app, &QCoreApplication::quit);
    QTimer::singleShot(int((trace->duration() + 5.0) * 1000), &app, &QCoreApplication::quit);
    std::printf("replaying %d level changes %.0f ms apart during one blow (%.1f s)\n", kChanges,
                kStep * 1000, trace->duration());
    std::fflush(stdout);
    detector.blowAirstart();
    app.exec();
    detector.stopBlew();
    if (!recorder) {
        std::fprintf(stderr, "the detector did not start\n");
        return 1;
    }

    // For each change, the first update with its grade at or after it. The
    // same grade comes back five changes later, which bounds the search.
    const QList<RecordingDelegate::Level> updates = delegate.levels();
    std::vector<double> latencies;
    int missed = 0;
    qsizetype next = 0;
    for (int i = 1; i < kChanges; ++i) {
        const double changedAt = recorder->startTime() + kLead + i * kStep;
        while (next < updates.size() && updates[next].at < changedAt)
            ++next;
        qsizetype k = next;
        while (k < updates.size() && updates[k].level != kGrades[i % kGradeCount].level &&
               updates[k].at < changedAt + kGradeCount * kStep)
            ++k;
        if (k == updates.size() || updates[k].level != kGrades[i % kGradeCount].level) {
            ++missed;
            continue;
        }
        latencies.push_back((updates[k].at - changedAt) * 1000.0);
    }
    std::vector<double> intervals;
    for (qsizetype i = 1; i < updates.size(); ++i)
        intervals.push_back((updates[i].at - updates[i - 1].at) * 1000.0);

    const SampleStats latency(latencies);
    const SampleStats poll(intervals);
    const double nominalPoll = QMXBlewer::kBlowingPoll * 1000.0;
    benchPrint("blow.updates", double(updates.size()));
    benchPrint("blow.ends", double(delegate.ends().size()));
    benchPrint("latency.changes", double(latency.count()));
    benchPrint("latency.missed", missed);
    benchPrint("latency.median_ms", latency.median());
    benchPrint("latency.p99_ms", latency.percentile(99));
    benchPrint("latency.max_ms", latency.max());
    benchPrint("poll.nominal_ms", nominalPoll);
    benchPrint("poll.median_interval_ms", poll.median(), "baseline, same run");
    benchPrint("poll.p99_interval_ms", poll.percentile(99));
    benchPrint("ratio.latency_median_per_poll", latency.median() / nominalPoll);
    benchPrint("ratio.latency_p99_per_poll", latency.percentile(99) / nominalPoll,
               "target <= 1.25");
    benchPrint("ratio.latency_median_per_measured_poll", latency.median() / poll.median());
    benchPrint("ratio.latency_p99_per_measured_poll", latency.percentile(99) / poll.median());
    return 0;
}
