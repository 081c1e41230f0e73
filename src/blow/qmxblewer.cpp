#include "blow/qmxblewer.h"

#include "blow/qmxblewdelegate.h"
#include "blow/qmxblewutil.h"
#include "platform/audio/audiorecorder.h"
#include "platform/audio/audiosession.h"
#include "platform/system/clock.h"
#include "platform/system/dispatch.h"
#include "platform/system/folders.h"

#include <QFile>
#include <cmath>

namespace {

// A loop is counted from its dispatch until it returns, so that the detector
// is never destroyed under it.
class LoopScope {
public:
    explicit LoopScope(std::atomic<int>& count) : m_count(count) {}
    ~LoopScope() { --m_count; }

private:
    std::atomic<int>& m_count;
};

QMetaMethod methodOf(const QMetaObject* meta, const char* signature) {
    const int index = meta->indexOfMethod(signature);
    return index < 0 ? QMetaMethod() : meta->method(index);
}

} // namespace

QMXBlewer& QMXBlewer::sharedInstance() {
    static QMXBlewer* detector = new QMXBlewer;
    return *detector;
}

QMXBlewer::QMXBlewer() {
    m_fileUrl = Folders::documents() +
                QStringLiteral("/%1.%2").arg(QStringLiteral("voice"), QStringLiteral("caf"));
    QFile file(m_fileUrl);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.close();
}

QMXBlewer::~QMXBlewer() {
    stopBlew();
    while (m_loopsRunning.load() > 0)
        Clock().sleep(0.001);
}

// Every call goes through the signature that the delegate protocol lists, so
// what a delegate is checked against is what it is sent.
QMetaMethod QMXBlewer::delegateMethod(const char* signature) const {
    return m_delegate ? methodOf(m_delegate->metaObject(), signature) : QMetaMethod();
}

void QMXBlewer::blowAirstart() {
    if (isMonitorActive())
        return;
    audioSessionStart();
    const QVariantMap settings = prepareSettings();
    QFile::remove(m_fileUrl);
    m_recorder = AudioRecorder::create(m_fileUrl, settings);
    m_recorderUnavailable = !m_recorder || !m_recorder->prepareToRecord();
    if (m_recorderUnavailable)
        return;
    const bool recording = m_recorder->record();
    const QMetaMethod started = delegateMethod(QMXBlewDelegate::BlowAirstart);
    if (!started.isValid())
        return;
    started.invoke(m_delegate, Q_ARG(bool, recording));
    if (recording && m_recorder) {
        m_recorder->setMeteringEnabled(true);
        blewMonitor();
    }
}

void QMXBlewer::stopBlew() {
    if (m_recorder && m_recorder->isRecording())
        m_recorder->stop();
    m_activeRun = 0;
    AudioSession::sharedInstance().setCategory(AudioSession::Category::Playback);
}

void QMXBlewer::interrupt() {
    stopBlew();
    const QMetaMethod interrupted = delegateMethod(QMXBlewDelegate::wasInterrupt);
    if (interrupted.isValid())
        interrupted.invoke(m_delegate);
}

bool QMXBlewer::isRecordingState() const {
    return m_recorder && m_recorder->isRecording();
}

void QMXBlewer::audioSessionStart() {
    AudioSession& session = AudioSession::sharedInstance();
    if (session.setCategory(AudioSession::Category::PlayAndRecord))
        session.setActive(true);
}

QVariantMap QMXBlewer::prepareSettings() const {
    // 8 kHz mono at the lowest quality: only the meter matters.
    QVariantMap settings;
    settings.insert(QStringLiteral("AVFormatIDKey"), 1633772320);
    settings.insert(QStringLiteral("AVSampleRateKey"), 8000.0f);
    settings.insert(QStringLiteral("AVNumberOfChannelsKey"), 1);
    settings.insert(QStringLiteral("AVLinearPCMBitDepthKey"), 8);
    settings.insert(QStringLiteral("AVLinearPCMIsBigEndianKey"), false);
    settings.insert(QStringLiteral("AVLinearPCMIsFloatKey"), false);
    settings.insert(QStringLiteral("AVEncoderBitRateKey"), 12000);
    settings.insert(QStringLiteral("AVEncoderBitDepthHintKey"), 8);
    settings.insert(QStringLiteral("AVEncoderBitRatePerChannelKey"), 8);
    settings.insert(QStringLiteral("AVEncoderAudioQualityKey"), 0);
    return settings;
}

void QMXBlewer::blewMonitor() {
    // The run is taken here, on the caller's thread, rather than when the
    // loop gets going: a second start right after the first is then refused.
    const quint64 run = ++m_runCounter;
    m_activeRun = run;
    startWaitingPhase(run, m_recorder);
}

void QMXBlewer::blewing() {
    startBlowingPhase(m_activeRun.load(), m_recorder);
}

void QMXBlewer::startWaitingPhase(quint64 run, Recorder recorder) {
    if (!recorder)
        return;
    ++m_loopsRunning;
    Dispatch::shared().global([this, run, recorder] {
        LoopScope scope(m_loopsRunning);
        waitingLoop(run, recorder);
    });
}

void QMXBlewer::startBlowingPhase(quint64 run, Recorder recorder) {
    if (!recorder)
        return;
    ++m_loopsRunning;
    Dispatch::shared().global([this, run, recorder] {
        LoopScope scope(m_loopsRunning);
        blowingLoop(run, recorder);
    });
}

void QMXBlewer::waitingLoop(quint64 run, const Recorder& recorder) {
    Clock& clock = Clock::shared();
    const double t0 = clock.now();
    if (!recorder->isRecording())
        return;
    for (;;) {
        if (m_activeRun.load() != run)
            return;
        if (clock.now() - t0 > kWaitingTimeout) {
            Dispatch::shared().main([self = QPointer(this), run, recorder] {
                if (self)
                    self->deliverTimeout(run, recorder);
            });
            return;
        }
        recorder->updateMeters();
        if (recorder->averagePowerForChannel(0) > kStartThreshold) {
            startBlowingPhase(run, recorder);
            return;
        }
        clock.sleep(kWaitingPoll);
        if (!recorder->isRecording())
            return;
    }
}

int QMXBlewer::blowLevel(float level, double threshold) {
    const double l = level;
    if (std::isnan(l) || l < threshold)
        return 0;
    if (l >= -2)
        return 8;
    if (l >= -3)
        return 7;
    if (l >= -5)
        return 6;
    if (l >= -7)
        return 5;
    return 4;
}

void QMXBlewer::blowingLoop(quint64 run, const Recorder& recorder) {
    Clock& clock = Clock::shared();
    const double start = clock.now();
    m_startTime = start;
    if (!recorder->isRecording())
        return;
    qint32 polls = 0;
    for (;;) {
        recorder->updateMeters();
        const double threshold = m_isPlay ? kSmogGameThreshold : kLungTestThreshold;
        const int level = blowLevel(recorder->averagePowerForChannel(0), threshold);
        if (level == 0)
            break;
        Dispatch::shared().main([self = QPointer(this), level, polls, start] {
            if (self)
                self->deliverLevel(level, polls, start);
        });
        clock.sleep(kBlowingPoll);
        if (!recorder->isRecording())
            return;
        ++polls;
    }
    Dispatch::shared().main([self = QPointer(this), run, recorder, polls, start] {
        if (self)
            self->deliverEnd(run, recorder, polls, start);
    });
}

double QMXBlewer::blowTime(qint32 polls, double start) const {
    return (Clock::shared().now() - start) + polls * kBlowTimePerPoll;
}

void QMXBlewer::deliverLevel(int level, qint32 polls, double start) {
    if (!m_delegate)
        return;
    lookUpPollMethods();
    if (m_levelMethod.isValid())
        m_levelMethod.invoke(m_delegate, Qt::DirectConnection, Q_ARG(float, float(level)));
    // The level may have made the delegate go.
    if (m_delegate && m_totalMethod.isValid()) {
        const qint32 total = QMXBlewUtil::getTotalAirByTime(blowTime(polls, start));
        m_totalMethod.invoke(m_delegate, Qt::DirectConnection, Q_ARG(int, total));
    }
}

void QMXBlewer::lookUpPollMethods() {
    // Two events fifty times a second: the delegate's class is asked for
    // them by name only when the class changes.
    const QMetaObject* meta = m_delegate->metaObject();
    if (meta == m_pollMethodsOf)
        return;
    m_levelMethod = methodOf(meta, QMXBlewDelegate::BlowAirupdataState);
    m_totalMethod = methodOf(meta, QMXBlewDelegate::BlowCurrentTotal);
    m_pollMethodsOf = meta;
}

void QMXBlewer::deliverEnd(quint64 run, const Recorder& recorder, qint32 polls, double start) {
    // A stop between the end of the loop and this block closed the run: the
    // user asked for no result.
    if (m_activeRun.load() != run)
        return;
    // With its delegate gone nobody is left to show the result or to call
    // stopBlew, so the detector lets go of the microphone itself.
    if (!m_delegate) {
        closeRun(run, recorder);
        return;
    }
    const QMetaMethod over = delegateMethod(QMXBlewDelegate::BlowAirOver);
    if (!over.isValid())
        return;
    const qint32 capacity = QMXBlewUtil::getTotalAirByTime(blowTime(polls, start));
    const qint32 percent = QMXBlewUtil::defeatPercent(capacity);
    over.invoke(m_delegate, Q_ARG(int, capacity), Q_ARG(int, percent));
    closeRun(run, recorder);
}

void QMXBlewer::deliverTimeout(quint64 run, const Recorder& recorder) {
    if (m_activeRun.load() != run)
        return;
    // The timeout leaves the microphone open for the delegate's stopBlew; a
    // delegate that is gone will never call it.
    if (!m_delegate) {
        closeRun(run, recorder);
        return;
    }
    const QMetaMethod timedOut = delegateMethod(QMXBlewDelegate::waitBlewTimeOut);
    if (timedOut.isValid())
        timedOut.invoke(m_delegate);
}

void QMXBlewer::closeRun(quint64 run, const Recorder& recorder) {
    recorder->stop();
    // The delegate may have started the next run from its end event.
    quint64 expected = run;
    m_activeRun.compare_exchange_strong(expected, 0);
    AudioSession::sharedInstance().setCategory(AudioSession::Category::Playback);
}
