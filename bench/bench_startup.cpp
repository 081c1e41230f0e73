// Start-up: the time from starting the application's process to its first
// painted frame (the first tab), and its resident memory at that moment,
// next to the same figures for a bare Qt Widgets window of the same size,
// measured in the same run. Each round starts the application twice in a
// fresh home: a first start, which creates its folders and databases, and
// a repeat start, as on every later day. The repeat start is broken down by
// the marks the application logs: exec to main, the application object,
// the embedded server, the first tab and the first frame. Needs a display
// (xvfb-run).
//   bench_startup [rounds]   (7 by default)

#include "app/startupmarks.h"
#include "benchoutput.h"
#include "samplestats.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

namespace {

// Where the application says its start stood, from its own marks: the
// stages between exec, main, the application object, the embedded server,
// the first tab and the first frame.
const char* const kStages[] = {"main", "application", "server", "first-tab", "first-frame"};

struct Start {
    double ms;
    double rssMb;
    // Milliseconds from exec to each mark the process logged.
    QHash<QString, double> marks;
};

struct Sample {
    std::vector<double> ms;
    std::vector<double> rssMb;
    QHash<QString, std::vector<double>> stages;

    void add(const std::optional<Start>& start) {
        if (!start)
            return;
        ms.push_back(start->ms);
        rssMb.push_back(start->rssMb);
        double previous = 0;
        // A stage the process does not mark (the bare window has no server)
        // is counted in the next one it marks.
        for (const char* stage : kStages) {
            if (!start->marks.contains(stage))
                continue;
            stages[stage].push_back(start->marks.value(stage) - previous);
            previous = start->marks.value(stage);
        }
    }
    double medianMs() const { return SampleStats(ms).median(); }
    double medianRssMb() const { return SampleStats(rssMb).median(); }
};

// "start-up marks (monotonic ms): main=123.4 application=130.0 ..."
QHash<QString, double> marksOf(const QByteArray& log, double startedMs) {
    QHash<QString, double> marks;
    const qsizetype at = log.indexOf("start-up marks (monotonic ms):");
    if (at < 0)
        return marks;
    const QByteArray line = log.mid(at, log.indexOf('\n', at) - at);
    for (const QByteArray& field : line.mid(line.indexOf(':') + 1).trimmed().split(' ')) {
        const QList<QByteArray> pair = field.split('=');
        if (pair.size() == 2)
            marks.insert(QString::fromLatin1(pair[0]), pair[1].toDouble() - startedMs);
    }
    return marks;
}

double residentMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Starts the program with `home` as its home and waits for its first-frame
// line on stderr.
std::optional<Start> timeStart(const QTemporaryDir& home, const QString& program,
                               const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(env);
    // The line comes on stderr; waiting on the default channel would only
    // return at each timeout.
    process.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    const double startedMs = StartupMarks::nowMs();
    process.start(program, arguments);
    QByteArray err;
    QDeadlineTimer deadline(30000);
    while (!err.contains("first frame painted") && !deadline.hasExpired() &&
           process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(1000);
        err += process.readAllStandardError();
    }
    std::optional<Start> start;
    if (err.contains("first frame painted"))
        start = Start{double(clock.nsecsElapsed()) / 1e6, residentMb(process.processId()),
                      marksOf(err, startedMs)};
    else
        std::fprintf(stderr, "%s: no first frame\n%s\n", qPrintable(program), err.constData());
    process.kill();
    process.waitForFinished();
    return start;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 7;
    if (rounds <= 0 || qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "usage: %s [rounds]   (under a display, e.g. xvfb-run -a)\n", argv[0]);
        return 2;
    }
    const QString dir = QCoreApplication::applicationDirPath();
    QTemporaryDir traceDir;
    const QString trace = traceDir.filePath(QStringLiteral("quiet.txt"));
    QFile file(trace);
    if (!file.open(QIODevice::WriteOnly) || file.write("0 -60\n") < 0)
        return 1;
    file.close();

    const QString vantoro = dir + QStringLiteral("/../vantoro");
    const QStringList arguments{QStringLiteral("--level-trace"), trace};
    Sample bare, first, repeat;
    // Interleaved, so that a slow spell of the machine hits all alike.
    for (int i = 0; i < rounds; ++i) {
        QTemporaryDir home;
        bare.add(timeStart(home, dir + QStringLiteral("/barewindow"), {}));
        first.add(timeStart(home, vantoro, arguments));
        repeat.add(timeStart(home, vantoro, arguments));
    }
    if (bare.ms.empty() || first.ms.empty() || repeat.ms.empty())
        return 1;
    benchPrint("startup.rounds", rounds);
    benchPrint("startup.bare_window_first_frame_ms_median", bare.medianMs(), "baseline, same run");
    benchPrint("startup.app_first_start_ms_median", first.medianMs());
    benchPrint("startup.app_repeat_start_ms_median", repeat.medianMs());
    benchPrint("startup.app_repeat_start_ms_max", SampleStats(repeat.ms).max());
    benchPrint("startup.first_start_ratio", first.medianMs() / bare.medianMs());
    benchPrint("startup.repeat_start_ratio", repeat.medianMs() / bare.medianMs(), "target <= 1.5");
    // Stage by stage, the bare window's beside the application's where it
    // has the same stage.
    for (const char* stage : kStages) {
        const QString name = QString::fromLatin1(stage).replace(u'-', u'_');
        if (bare.stages.contains(stage))
            benchPrint(
                QStringLiteral("startup.bare_window_until_%1_ms_median").arg(name).toStdString(),
                SampleStats(bare.stages.value(stage)).median(),
                "baseline, since the previous stage");
        benchPrint(
            QStringLiteral("startup.repeat_start_until_%1_ms_median").arg(name).toStdString(),
            SampleStats(repeat.stages.value(stage)).median(), "since the previous stage");
    }
    benchPrint("startup.bare_window_rss_mb_median", bare.medianRssMb(), "baseline, same run");
    benchPrint("startup.app_first_start_rss_mb_median", first.medianRssMb());
    benchPrint("startup.app_repeat_start_rss_mb_median", repeat.medianRssMb(),
               "target <= 90, no web tab shown");
    benchPrint("startup.rss_ratio", repeat.medianRssMb() / bare.medianRssMb());
    return 0;
}
