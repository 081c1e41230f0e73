#include "platform/audio/levelrecordingrecorder.h"

#include "platform/system/clock.h"

#include <QDateTime>
#include <QDir>
#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcLevelRecording, "vantoro.levelrecording")

LevelRecordingRecorder::LevelRecordingRecorder(std::shared_ptr<AudioRecorder> inner,
                                               QString directory)
    : m_inner(std::move(inner)), m_directory(std::move(directory)) {}

LevelRecordingRecorder::~LevelRecordingRecorder() {
    std::lock_guard lock(m_mutex);
    closeTrace();
}

bool LevelRecordingRecorder::prepareToRecord() {
    return m_inner->prepareToRecord();
}

bool LevelRecordingRecorder::record() {
    if (!m_inner->record())
        return false;
    std::lock_guard lock(m_mutex);
    closeTrace();
    m_recordStart = Clock::shared().now();
    openTrace();
    return true;
}

bool LevelRecordingRecorder::isRecording() const {
    return m_inner->isRecording();
}

void LevelRecordingRecorder::stop() {
    m_inner->stop();
    std::lock_guard lock(m_mutex);
    closeTrace();
}

void LevelRecordingRecorder::setMeteringEnabled(bool enabled) {
    m_inner->setMeteringEnabled(enabled);
}

void LevelRecordingRecorder::updateMeters() {
    m_inner->updateMeters();
    const float level = m_inner->averagePowerForChannel(0);
    std::lock_guard lock(m_mutex);
    // A loop may poll once more after a stop; that level is no part of the
    // recording.
    if (m_file.isOpen())
        m_file.write(traceLine(Clock::shared().now() - m_recordStart, level));
}

float LevelRecordingRecorder::averagePowerForChannel(int channel) const {
    return m_inner->averagePowerForChannel(channel);
}

QString LevelRecordingRecorder::tracePath() const {
    std::lock_guard lock(m_mutex);
    return m_file.fileName();
}

QByteArray LevelRecordingRecorder::traceLine(double seconds, float db) {
    QByteArray level;
    if (std::isnan(db))
        level = "nan";
    else if (std::isinf(db))
        // The trace holds finite levels only; these two grade the same.
        level = db < 0 ? QByteArray::number(double(kSilenceDb)) : QByteArray("0");
    else
        // Nine significant digits give back the very same float.
        level = QByteArray::number(double(db), 'g', 9);
    // Times are cut down to the microsecond, never rounded up: a replay
    // that polls at the same moment must find this level already in effect.
    const double micros = std::floor(std::max(seconds, 0.0) * 1e6);
    return QByteArray::number(micros / 1e6, 'f', 6) + ' ' + level + '\n';
}

void LevelRecordingRecorder::openTrace() {
    const QDateTime started = QDateTime::currentDateTime();
    const QString stem = m_directory + QStringLiteral("/levels-") +
                         started.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (!QDir().mkpath(m_directory)) {
        qCWarning(lcLevelRecording)
            << "cannot make the folder" << m_directory << "for recorded levels";
        return;
    }
    // Two recordings within one millisecond must not share a file.
    for (int n = 1; n < 100 && !m_file.isOpen(); ++n) {
        m_file.setFileName(n == 1 ? stem + QStringLiteral(".txt")
                                  : stem + QStringLiteral("-%1.txt").arg(n));
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
    }
    if (!m_file.isOpen()) {
        qCWarning(lcLevelRecording)
            << "cannot write recorded levels to" << m_file.fileName() << m_file.errorString();
        m_file.setFileName(QString());
        return;
    }
    m_file.write("# levels polled from the microphone by the blow detector, \"seconds dB\" from "
                 "the start of recording\n# started " +
                 started.toString(Qt::ISODateWithMs).toUtf8() + "; replay with --level-trace\n");
}

void LevelRecordingRecorder::closeTrace() {
    if (m_file.isOpen())
        m_file.close();
}
