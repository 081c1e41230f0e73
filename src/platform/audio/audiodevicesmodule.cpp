#include "platform/audio/audiodevicesmodule.h"

#include "platform/system/modulelibrary.h"

#include <QLoggingCategory>
#include <mutex>

Q_LOGGING_CATEGORY(lcAudioDevices, "vantoro.audio")

QStringList AudioDevicesModule::candidates() {
    return ModuleLibrary::candidates(QStringLiteral("vantoro-audio.so"),
                                     QStringLiteral(VANTORO_AUDIO_BUILD_DIR));
}

namespace {

AudioDevices* load() {
    QString path;
    QString error;
    const auto create = reinterpret_cast<CreateAudioDevicesFunction>(ModuleLibrary::resolve(
        AudioDevicesModule::candidates(), kCreateAudioDevicesSymbol, &path, &error));
    if (!create) {
        qCWarning(lcAudioDevices).noquote()
            << "no audio devices: nothing can be recorded or played;" << error;
        return nullptr;
    }
    qCInfo(lcAudioDevices) << "audio devices loaded from" << path;
    return create();
}

} // namespace

AudioDevices* AudioDevicesModule::devices() {
    static std::once_flag once;
    static AudioDevices* loaded = nullptr;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}
