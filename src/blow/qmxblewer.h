#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <memory>

class AudioRecorder;

// The one blow detector. It records only to read the microphone's meter,
// waits for a level above the start threshold, grades the blow every 20 ms,
// notices its end and reports everything to its delegate on the main thread
// (see QMXBlewDelegate).
//
// The waiting and blowing loops run on the global queue. Each start opens a
// new run; a loop only acts for its own run, and a stop closes the run, so a
// stop can never be undone by a loop that is still winding down.
class QMXBlewer : public QObject {
    Q_OBJECT
public:
    static QMXBlewer& sharedInstance();

    QMXBlewer();
    ~QMXBlewer() override;

    QObject* Blewdelegate() const { return m_delegate; }
    void setBlewdelegate(QObject* delegate) { m_delegate = delegate; }

    bool isPlay() const { return m_isPlay; }
    void setIsPlay(bool isPlay) { m_isPlay = isPlay; }

    std::shared_ptr<AudioRecorder> recorder() const { return m_recorder; }
    double startTime() const { return m_startTime; }
    QString fileUrl() const { return m_fileUrl; }
    bool isMonitorActive() const { return m_activeRun.load() != 0; }
    // Whether the last start found no recorder it could prepare (no audio
    // input at all). The detector then says nothing to its delegate, so the
    // screen asks, to tell the player instead of waiting for a blow that
    // cannot be heard.
    bool recorderUnavailable() const { return m_recorderUnavailable; }

    // Declared by the detector's interface but never used by any operation.
    float airLevel() const { return m_airLevel; }
    void setAirLevel(float airLevel) { m_airLevel = airLevel; }
    qint32 total() const { return m_total; }
    void setTotal(qint32 total) { m_total = total; }
    qint32 defeatPercent() const { return m_defeatPercent; }
    void setDefeatPercent(qint32 percent) { m_defeatPercent = percent; }

    void blowAirstart();
    void stopBlew();
    void interrupt();
    bool isRecordingState() const;
    void audioSessionStart();
    QVariantMap prepareSettings() const;
    void blewMonitor();
    void blewing();
    void rePlayMusic() {}

    // Blow level 4..8 of a meter reading, 0 when the reading ends the blow.
    static int blowLevel(float level, double continuationThreshold);

    static constexpr double kStartThreshold = -10.5;
    static constexpr double kLungTestThreshold = -12.5;
    static constexpr double kSmogGameThreshold = -30.0;
    static constexpr double kWaitingPoll = 0.1;
    static constexpr double kBlowingPoll = 0.02;
    static constexpr double kWaitingTimeout = 10.0;
    static constexpr double kBlowTimePerPoll = 0.01;

private:
    using Recorder = std::shared_ptr<AudioRecorder>;

    void startWaitingPhase(quint64 run, Recorder recorder);
    void startBlowingPhase(quint64 run, Recorder recorder);
    void waitingLoop(quint64 run, const Recorder& recorder);
    void blowingLoop(quint64 run, const Recorder& recorder);
    void deliverLevel(int level, qint32 polls, double start);
    void deliverEnd(quint64 run, const Recorder& recorder, qint32 polls, double start);
    void deliverTimeout(quint64 run, const Recorder& recorder);
    void closeRun(quint64 run, const Recorder& recorder);
    void lookUpPollMethods();
    double blowTime(qint32 polls, double start) const;
    QMetaMethod delegateMethod(const char* signature) const;

    QPointer<QObject> m_delegate;
    std::atomic<bool> m_isPlay{false};
    Recorder m_recorder;
    bool m_recorderUnavailable = false;
    std::atomic<double> m_startTime{0.0};
    QString m_fileUrl;
    float m_airLevel = 0;
    qint32 m_total = 0;
    qint32 m_defeatPercent = 0;

    // The delegate's level and running-total operations (GUI thread only).
    const QMetaObject* m_pollMethodsOf = nullptr;
    QMetaMethod m_levelMethod;
    QMetaMethod m_totalMethod;

    // 0 when idle, otherwise the number of the run that holds the detector.
    std::atomic<quint64> m_activeRun{0};
    std::atomic<quint64> m_runCounter{0};
    std::atomic<int> m_loopsRunning{0};
};
