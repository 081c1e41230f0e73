#include "noiseplayer.h"

#include <QFile>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>

QString NoisePlayer::unavailable() {
    for (const char* tool : {"sox", "paplay"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    }
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

bool NoisePlayer::play() {
    m_process.start(QStringLiteral("paplay"), {m_path});
    return m_process.waitForStarted(5000);
}

void NoisePlayer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}
