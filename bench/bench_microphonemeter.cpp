// How the microphone's meter behaves under the detector's polling: the level
// that silence and a noise of known RMS read at, how often a 20 ms poll finds
// no new samples (and so repeats the last reading), and how far apart the
// audio periods arrive. The baselines are the noise file's own RMS, computed
// from its samples in this run, and the 20 ms poll.

#include "benchoutput.h"
#include "platform/audio/microphonerecorder.h"
#include "samplestats.h"
#include "support/noiseplayer.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

constexpr float kSilenceCeilingDb = -100.0f;
constexpr double kNoiseSeconds = 3.0;

struct Reading {
    double ms;
    float db;
};

// Polls the meter from another thread, as the detector's loop does, while
// the main thread's event loop takes in the audio: a stretch of silence, the
// noise, and silence again.
std::vector<Reading> pollDuringNoise(AudioRecorder& recorder, NoisePlayer& noise, int pollMs) {
    std::vector<Reading> readings;
    std::atomic<bool> done{false};
    std::thread poller([&] {
        QElapsedTimer timer;
        timer.start();
        while (!done) {
            recorder.updateMeters();
            readings.push_back({timer.nsecsElapsed() / 1e6, recorder.averagePowerForChannel(0)});
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
        }
    });
    runEventLoop(0.5);
    noise.play();
    while (noise.isPlaying())
        runEventLoop(0.05);
    runEventLoop(0.5);
    done = true;
    poller.join();
    return readings;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QMediaDevices::defaultAudioInput().isNull()) {
        std::printf("meter.skipped  no default audio input\n");
        return 0;
    }
    const QString noNoise = NoisePlayer::unavailable();
    if (!noNoise.isEmpty()) {
        std::printf("meter.skipped  %s\n", qPrintable(noNoise));
        return 0;
    }
    NoisePlayer noise;
    const bool made = noise.generate(kNoiseSeconds, 0.9);
    const auto fileRms = noise.fileRmsDb();
    if (!made || !fileRms) {
        std::fprintf(stderr, "sox could not make the noise\n");
        return 1;
    }

    QTemporaryDir dir;
    MicrophoneRecorder recorder(dir.filePath(QStringLiteral("meter.caf")),
                                {{QStringLiteral("AVSampleRateKey"), 8000.0f}});
    if (!recorder.prepareToRecord() || !recorder.record()) {
        std::fprintf(stderr, "the microphone would not record\n");
        return 1;
    }
    recorder.setMeteringEnabled(true);

    // At the detector's poll: level and stale readings.
    const std::vector<Reading> polled = pollDuringNoise(recorder, noise, 20);
    float silenceMax = AudioRecorder::kSilenceDb;
    std::vector<double> noiseDb;
    int stale = 0;
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].db <= kSilenceCeilingDb) {
            silenceMax = std::max(silenceMax, polled[i].db);
            continue;
        }
        noiseDb.push_back(polled[i].db);
        if (i > 0 && polled[i].db == polled[i - 1].db)
            ++stale;
    }

    // Polled far faster than periods come, each new reading marks a period.
    const std::vector<Reading> fast = pollDuringNoise(recorder, noise, 1);
    std::vector<double> periods;
    double lastChange = -1;
    for (std::size_t i = 1; i < fast.size(); ++i) {
        if (fast[i].db <= kSilenceCeilingDb || fast[i].db == fast[i - 1].db)
            continue;
        if (lastChange >= 0)
            periods.push_back(fast[i].ms - lastChange);
        lastChange = fast[i].ms;
    }
    recorder.stop();

    const SampleStats level(noiseDb);
    const SampleStats period(periods);
    benchPrint("meter.file_rms_dbfs", *fileRms, "baseline, same run");
    benchPrint("meter.noise_median_dbfs", level.median());
    benchPrint("meter.noise_p1_dbfs", level.percentile(1));
    benchPrint("meter.noise_p99_dbfs", level.percentile(99));
    benchPrint("meter.noise_median_minus_file_db", level.median() - *fileRms);
    benchPrint("meter.silence_max_dbfs", silenceMax);
    benchPrint("meter.poll20_noise_readings", double(level.count()));
    benchPrint("meter.poll20_stale_readings", stale, "no new samples since the previous poll");
    benchPrint("meter.poll20_stale_percent", level.isEmpty() ? 0.0 : 100.0 * stale / level.count());
    benchPrint("meter.period_median_ms", period.median());
    benchPrint("meter.period_p99_ms", period.percentile(99));
    benchPrint("meter.period_max_ms", period.max());
    benchPrint("ratio.period_median_per_poll", period.median() / 20.0);
    benchPrint("ratio.period_max_per_poll", period.max() / 20.0);
    return 0;
}
