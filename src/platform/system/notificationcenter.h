#pragma once

#include <QString>
#include <QVariantMap>
#include <QtGlobal>
#include <functional>
#include <mutex>
#include <vector>

// The process-wide notification centre: observers register for a name
// (and optionally one sender object) and are called synchronously, on the
// posting thread, in the order they registered.
class NotificationCenter {
public:
    struct Notification {
        QString name;
        // The sender; its type is told by the notification's name.
        void* object = nullptr;
        QVariantMap userInfo;
    };
    using Observer = std::function<void(const Notification&)>;
    // 0 is never an observer, so it can stand for "none".
    using Id = quint64;

    static NotificationCenter& defaultCenter();

    // With a sender given, only that sender's notifications are delivered.
    Id addObserver(const QString& name, void* object, Observer observer);
    void removeObserver(Id id);
    void postNotificationName(const QString& name, void* object, const QVariantMap& userInfo = {});

private:
    struct Entry {
        Id id;
        QString name;
        void* object;
        Observer observer;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    Id m_lastId = 0;
};
