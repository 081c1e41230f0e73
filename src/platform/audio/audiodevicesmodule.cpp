#include "platform/audio/audiodevicesmodule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QLoggingCategory>
#include <mutex>

Q_LOGGING_CATEGORY(lcAudioDevices, "vantoro.audio")

QStringList AudioDevicesModule::candidates() {
    const QString name = QStringLiteral("vantoro-audio.so");
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/vantoro/") + name,
            QStringLiteral(VANTORO_AUDIO_BUILD_DIR "/") + name};
}

namespace {

AudioDevices* load() {
    QStringList errors;
    for (const QString& path : AudioDevicesModule::candidates()) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        const auto create = reinterpret_cast<CreateAudioDevicesFunction>(
            library.resolve(kCreateAudioDevicesSymbol));
        if (create) {
            qCInfo(lcAudioDevices) << "audio devices loaded from" << path;
            return create();
        }
        errors << library.errorString();
    }
    qCWarning(lcAudioDevices).noquote()
        << "no audio devices: nothing can be recorded or played. Looked for"
        << AudioDevicesModule::candidates().join(QStringLiteral(", "))
        << errors.join(QStringLiteral("; "));
    return nullptr;
}

} // namespace

AudioDevices* AudioDevicesModule::devices() {
    static std::once_flag once;
    static AudioDevices* loaded = nullptr;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}
