#pragma once

#include <QString>
#include <mutex>

// The process-wide audio session. The desktop has no earpiece and no session
// arbitration, so the session keeps the state that callers set and reports it;
// recording and playback work whatever the category.
class AudioSession {
public:
    enum class Category { SoloAmbient, Playback, PlayAndRecord };
    enum class PortOverride { None, Speaker };

    static AudioSession& sharedInstance();

    // Returns false with a reason when the request cannot be honoured.
    bool setCategory(Category category, QString* error = nullptr);
    bool setActive(bool active, QString* error = nullptr);
    bool overrideOutputAudioPort(PortOverride port, QString* error = nullptr);

    Category category() const;
    bool isActive() const;
    PortOverride portOverride() const;

    // Back to the state of a freshly started process.
    void reset();

private:
    AudioSession() = default;

    mutable std::mutex m_mutex;
    Category m_category = Category::SoloAmbient;
    bool m_active = false;
    PortOverride m_portOverride = PortOverride::None;
};
