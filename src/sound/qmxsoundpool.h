#pragma once

#include <QHash>
#include <QString>

// The recorded sounds of the application by sound key: each key names an MP3
// resource of the bundle.
class QMXSoundPool {
public:
    static QMXSoundPool& sharedInstance();

    QMXSoundPool();

    void loadAllSound();
    // Sound key to resource file name, without the "mp3" type.
    const QHash<QString, QString>& soundPool() const { return m_soundPool; }
    // Bundle path of the key's MP3 file; empty for a key the pool does not
    // know or a file the bundle lacks.
    QString getSound(const QString& key) const;

private:
    QHash<QString, QString> m_soundPool;
};
