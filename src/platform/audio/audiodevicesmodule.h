#pragma once

#include "platform/audio/audiodevices.h"

#include <QStringList>

// Loads the audio devices module once, on first use, from any thread.
class AudioDevicesModule {
public:
    // Null, with a log line naming what was tried, when no module loads:
    // then nothing is recorded or played, as without a sound card.
    static AudioDevices* devices();
    // Where the module is looked for: beside an installed application, then
    // in the build tree.
    static QStringList candidates();
};
