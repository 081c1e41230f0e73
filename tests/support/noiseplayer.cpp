#include "support/noiseplayer.h"

#include <QFile>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <sys/types.h>

namespace {
// What the test services name their virtual microphone.
constexpr QByteArrayView kVirtualMicrophone = "vantoro_mic";
} // namespace

QString NoisePlayer::unavailable() {
    for (const char* tool : {"sox", "paplay"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    }
    return {};
}

QString NoisePlayer::virtualMicrophoneUnavailable() {
    if (const QString missing = unavailable(); !missing.isEmpty())
        return missing;
    if (QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
        return QStringLiteral("pactl is not installed");
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("get-default-source")});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        return QStringLiteral("no sound server answers; start the test audio services "
                              "(tools/test-services.sh start) and export the XDG_RUNTIME_DIR "
                              "they print");
    const QByteArray source = pactl.readAllStandardOutput().trimmed();
    if (source != kVirtualMicrophone)
        return QStringLiteral("the default audio input is \"%1\", not the test services' "
                              "virtual microphone, so it would not hear the noise played")
            .arg(QString::fromUtf8(source));
    return {};
}

bool NoisePlayer::generate(double seconds, double amplitude) {
    if (!m_dir.isValid())
        return false;
    m_path = m_dir.filePath(QStringLiteral("noise.wav"));
    return QProcess::execute(QStringLiteral("sox"),
                             {QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-c"),
                              QStringLiteral("1"), QStringLiteral("-n"), QStringLiteral("-b"),
                              QStringLiteral("16"), m_path, QStringLiteral("synth"),
                              QString::number(seconds), QStringLiteral("whitenoise"),
                              QStringLiteral("vol"), QString::number(amplitude)}) == 0;
}

std::optional<double> NoisePlayer::fileRmsDb() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray wav = file.readAll();
    qsizetype chunk = 12;
    while (chunk + 8 <= wav.size()) {
        const auto size = qFromLittleEndian<quint32>(wav.constData() + chunk + 4);
        if (wav.mid(chunk, 4) == "data") {
            const auto* samples = reinterpret_cast<const qint16*>(wav.constData() + chunk + 8);
            const qsizetype count = std::min<qsizetype>(size, wav.size() - chunk - 8) / 2;
            if (count == 0)
                return std::nullopt;
            double sum = 0;
            for (qsizetype i = 0; i < count; ++i) {
                const double v = qFromLittleEndian(samples[i]) / 32768.0;
                sum += v * v;
            }
            return 20.0 * std::log10(std::sqrt(sum / double(count)));
        }
        chunk += 8 + size + (size & 1);
    }
    return std::nullopt;
}

NoisePlayer::~NoisePlayer() {
    stop();
    stopListening();
}

bool NoisePlayer::play() {
    m_process.start(QStringLiteral("paplay"), {m_path});
    return m_process.waitForStarted(5000);
}

bool NoisePlayer::playDetached() {
    return QProcess::startDetached(QStringLiteral("paplay"), {m_path}, {}, &m_detachedPid);
}

bool NoisePlayer::isPlaying() const {
    if (m_detachedPid > 0)
        return ::kill(pid_t(m_detachedPid), 0) == 0;
    return m_process.state() != QProcess::NotRunning;
}

void NoisePlayer::stop() {
    if (m_detachedPid > 0) {
        ::kill(pid_t(m_detachedPid), SIGKILL);
        m_detachedPid = 0;
    }
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool NoisePlayer::keepMicrophoneAwake() {
    if (m_listener.state() != QProcess::NotRunning)
        return true;
    m_listener.setStandardOutputFile(QProcess::nullDevice());
    m_listener.start(QStringLiteral("parec"),
                     {QStringLiteral("--latency-msec=20"), QStringLiteral("--raw")});
    return m_listener.waitForStarted(5000);
}

void NoisePlayer::stopListening() {
    if (m_listener.state() == QProcess::NotRunning)
        return;
    m_listener.kill();
    m_listener.waitForFinished(5000);
}
