#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>

// The user defaults: small typed values that outlive the process, kept in an
// INI file in the application's configuration folder.
class UserDefaults {
public:
    static UserDefaults& standardUserDefaults();

    QVariant objectForKey(const QString& key) const;
    void setObject(const QVariant& value, const QString& key);
    void removeObjectForKey(const QString& key);

    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;

    void setInteger(qint64 value, const QString& key) { setObject(value, key); }
    void setDouble(double value, const QString& key) { setObject(value, key); }
    void setBool(bool value, const QString& key) { setObject(value, key); }

    // Writes pending changes to disk; true when the file is in good shape.
    bool synchronize();

private:
    UserDefaults();

    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};
