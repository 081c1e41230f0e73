#include "platform/system/notificationcenter.h"

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Id NotificationCenter::addObserver(const QString& name, void* object,
                                                       Observer observer) {
    std::lock_guard lock(m_mutex);
    const Id id = ++m_lastId;
    m_entries.push_back({id, name, object, std::move(observer)});
    return id;
}

void NotificationCenter::removeObserver(Id id) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::postNotificationName(const QString& name, void* object,
                                              const QVariantMap& userInfo) {
    std::vector<Observer> targets;
    {
        // Observers run outside the lock, so they may add or remove
        // observers or post again.
        std::lock_guard lock(m_mutex);
        for (const Entry& e : m_entries) {
            if (e.name == name && (!e.object || e.object == object))
                targets.push_back(e.observer);
        }
    }
    const Notification notification{name, object, userInfo};
    for (const Observer& observer : targets)
        observer(notification);
}
