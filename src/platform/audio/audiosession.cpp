#include "platform/audio/audiosession.h"

AudioSession& AudioSession::sharedInstance() {
    static AudioSession session;
    return session;
}

bool AudioSession::setCategory(Category category, QString*) {
    std::lock_guard lock(m_mutex);
    m_category = category;
    return true;
}

bool AudioSession::setActive(bool active, QString*) {
    std::lock_guard lock(m_mutex);
    m_active = active;
    return true;
}

bool AudioSession::overrideOutputAudioPort(PortOverride port, QString*) {
    std::lock_guard lock(m_mutex);
    m_portOverride = port;
    return true;
}

AudioSession::Category AudioSession::category() const {
    std::lock_guard lock(m_mutex);
    return m_category;
}

bool AudioSession::isActive() const {
    std::lock_guard lock(m_mutex);
    return m_active;
}

AudioSession::PortOverride AudioSession::portOverride() const {
    std::lock_guard lock(m_mutex);
    return m_portOverride;
}

void AudioSession::reset() {
    std::lock_guard lock(m_mutex);
    m_category = Category::SoloAmbient;
    m_active = false;
    m_portOverride = PortOverride::None;
}
