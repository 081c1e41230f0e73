#include "userdefaults.h"

#include <QStandardPaths>

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults defaults;
    return defaults;
}

UserDefaults::UserDefaults() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    m_settings =
        std::make_unique<QSettings>(dir + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
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
