#include "support/fakerecorder.h"

bool FakeRecorder::record() {
    m_recording = m_records;
    return m_records;
}

void FakeRecorder::updateMeters() {
    ++m_updates;
    std::lock_guard lock(m_mutex);
    if (m_levels.empty()) {
        m_level = m_fallback;
        return;
    }
    m_level = m_levels.front();
    m_levels.pop_front();
}
