#include "platform/system/userdefaults.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>

Q_LOGGING_CATEGORY(lcDefaults, "vantoro.defaults")

namespace {

constexpr unsigned long kStaleLockCheckMs = 100;

// A process killed while the settings file was locked can leave an empty
// lock file: the owner's identity is written just after the file is made.
// The lock cannot tell whose it is and holds every later start for 30 s, so
// an empty lock that stays empty a moment is taken for what it is. A lock
// naming its process is left to the lock itself, which checks that process.
void removeStaleEmptyLock(const QString& settingsPath) {
    const QString lockPath = settingsPath + QStringLiteral(".lock");
    auto emptyLock = [&lockPath] {
        const QFileInfo info(lockPath);
        return info.exists() && info.size() == 0;
    };
    if (!emptyLock())
        return;
    QThread::msleep(kStaleLockCheckMs);
    if (emptyLock() && QFile::remove(lockPath))
        qCWarning(lcDefaults).noquote()
            << "removed the empty settings lock" << lockPath << "left by a process that was killed";
}

} // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults defaults;
    return defaults;
}

UserDefaults::UserDefaults() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                         QStringLiteral("/defaults.ini");
    removeStaleEmptyLock(path);
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    std::lock_guard lock(m_mutex);
    return m_settings->value(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key) {
    std::lock_guard lock(m_mutex);
    m_settings->setValue(key, value);
}

void UserDefaults::removeObjectForKey(const QString& key) {
    std::lock_guard lock(m_mutex);
    m_settings->remove(key);
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    return objectForKey(key).toLongLong();
}

double UserDefaults::doubleForKey(const QString& key) const {
    return objectForKey(key).toDouble();
}

bool UserDefaults::boolForKey(const QString& key) const {
    return objectForKey(key).toBool();
}

QString UserDefaults::stringForKey(const QString& key) const {
    return objectForKey(key).toString();
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
