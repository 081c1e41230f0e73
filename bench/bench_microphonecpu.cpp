// What listening costs the processor on the real microphone path: the
// process's CPU time, as a share of one core, while the detector waits on
// the silent default input and while it grades a blow of noise played into
// the default output, each printed beside the same process idle in its
// event loop in the same run. The noise player runs detached: its pipes and
// exit are not watched by this process, which the application never does.
// Without a default audio input there is nothing to measure; without sox or
// paplay only the waiting phase is measured.
//   bench_microphonecpu [seconds]   (10 by default)

#include "benchoutput.h"
#include "blow/qmxblewer.h"
#include "cpuusage.h"
#include "platform/audio/microphonerecorder.h"
#include "support/noiseplayer.h"
#include "support/recordingdelegate.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMediaDevices>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// A figure with the idle baseline of this run beside it.
std::string besideIdle(double idle) {
    char note[96];
    std::snprintf(note, sizeof note, "idle %.3f %% in this run; target < 1 %% of one core", idle);
    return note;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 10.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    const QAudioDevice input = QMediaDevices::defaultAudioInput();
    if (input.isNull()) {
        std::printf("microphone.skipped  no default audio input\n");
        return 0;
    }
    std::printf("microphone.input  %s (%s)\n", input.id().constData(),
                qPrintable(input.description()));
    AudioRecorder::setFactory([](const QString& path, const QVariantMap& settings) {
        return std::shared_ptr<AudioRecorder>(new MicrophoneRecorder(path, settings),
                                              [](MicrophoneRecorder* r) { r->deleteLater(); });
    });

    const CpuUsage idleStart = CpuUsage::sample();
    runEventLoop(seconds);
    const double idle = CpuUsage::sample().percentOfCoreSince(idleStart);
    benchPrint("cpu.window_s", seconds);
    benchPrint("cpu.idle_percent", idle, "baseline, same run");
    std::fflush(stdout);

    // The wait gives up after 10 s; the window stays inside it.
    const double waitWindow = std::min(seconds, QMXBlewer::kWaitingTimeout - 1.0);
    {
        QMXBlewer detector;
        RecordingDelegate delegate;
        detector.setBlewdelegate(&delegate);
        detector.blowAirstart();
        const CpuUsage start = CpuUsage::sample();
        runEventLoop(waitWindow);
        const double waiting = CpuUsage::sample().percentOfCoreSince(start);
        detector.stopBlew();
        runEventLoop(0.2);
        benchPrint("cpu.microphone_waiting_window_s", waitWindow);
        benchPrint("cpu.microphone_waiting_percent", waiting, besideIdle(idle).c_str());
        benchPrint("cpu.microphone_waiting_minus_idle_percent", waiting - idle);
        benchPrint("cpu.microphone_waiting_updates", double(delegate.levels().size()),
                   "0: the input was silent throughout");
        std::fflush(stdout);
    }

    const QString noNoise = NoisePlayer::unavailable();
    if (!noNoise.isEmpty()) {
        std::printf("cpu.microphone_blowing_skipped  %s\n", qPrintable(noNoise));
        return 0;
    }
    NoisePlayer noise;
    if (!noise.generate(seconds + 5.0, 0.9)) {
        std::printf("cpu.microphone_blowing_skipped  sox could not make the noise\n");
        return 0;
    }
    QMXBlewer detector;
    RecordingDelegate delegate;
    delegate.setOnStart([&](bool started) {
        if (started)
            noise.playDetached();
    });
    detector.setBlewdelegate(&delegate);
    // The smog game's low threshold keeps the noise a blow from end to end.
    detector.setIsPlay(true);
    detector.blowAirstart();
    for (int i = 0; i < 300 && delegate.levels().isEmpty(); ++i)
        runEventLoop(0.01);
    if (delegate.levels().isEmpty()) {
        std::printf("cpu.microphone_blowing_skipped  the noise played into the default output "
                    "was not heard\n");
        detector.stopBlew();
        noise.stop();
        return 0;
    }
    const qsizetype updatesBefore = delegate.levels().size();
    const CpuUsage start = CpuUsage::sample();
    runEventLoop(seconds);
    const CpuUsage end = CpuUsage::sample();
    const double blowing = end.percentOfCoreSince(start);
    const double updates = double(delegate.levels().size() - updatesBefore);
    detector.stopBlew();
    noise.stop();
    runEventLoop(0.2);
    benchPrint("cpu.microphone_blowing_percent", blowing, besideIdle(idle).c_str());
    benchPrint("cpu.microphone_blowing_minus_idle_percent", blowing - idle);
    benchPrint("cpu.microphone_blowing_updates_per_s", updates / end.wallSecondsSince(start));
    benchPrint("cpu.microphone_blowing_ends", double(delegate.ends().size()),
               "0: the blow lasted the whole window");
    return 0;
}
