#include "sound/qmxsoundpool.h"

#include "platform/system/bundle.h"

QMXSoundPool& QMXSoundPool::sharedInstance() {
    static QMXSoundPool pool;
    return pool;
}

QMXSoundPool::QMXSoundPool() {
    loadAllSound();
}

void QMXSoundPool::loadAllSound() {
    const auto add = [this](const QString& key, const QString& file) {
        m_soundPool.insert(key, file);
    };
    add(QStringLiteral("收缩压"), QStringLiteral("zuvo_bp_h"));
    add(QStringLiteral("舒张压"), QStringLiteral("zuvo_bp_l"));
    add(QStringLiteral("血压"), QStringLiteral("zuvo_bp"));
    add(QStringLiteral("心率"), QStringLiteral("zuvo_hr"));
    add(QStringLiteral("千帕"), QStringLiteral("zuvo_kpa"));
    add(QStringLiteral("毫米汞柱"), QStringLiteral("zuvo_mmhg"));
    for (int n = 0; n <= 9; ++n)
        add(QString::number(n), QStringLiteral("zuvo_num_%1").arg(n));
    for (int n = 10; n <= 90; n += 10)
        add(QString::number(n), QStringLiteral("zuvo_num_%1").arg(n));
    add(QStringLiteral("100"), QStringLiteral("zuvo_num_100"));
    add(QStringLiteral("200"), QStringLiteral("zuvo_num_200"));
    add(QStringLiteral("测量结果为"), QStringLiteral("zuvo_tru"));
    add(QStringLiteral("您的"), QStringLiteral("zuvo_yours"));
    add(QStringLiteral("吹完音效"), QStringLiteral("blew_result"));
    add(QStringLiteral("吹气音效"), QStringLiteral("blow"));
}

QString QMXSoundPool::getSound(const QString& key) const {
    const QString file = m_soundPool.value(key);
    return file.isEmpty() ? QString() : Bundle::pathForResource(file, QStringLiteral("mp3"));
}
