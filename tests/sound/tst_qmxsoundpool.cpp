#include "platform/system/bundle.h"
#include "sound/qmxsoundpool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Skips an ID3v2 tag, then reads the first MPEG audio frame header: whether
// it is Layer III, and whether it is mono.
struct FrameHeader {
    bool valid = false;
    bool layer3 = false;
    bool mono = false;
};

FrameHeader firstFrame(const QByteArray& data) {
    qsizetype at = 0;
    if (data.startsWith("ID3") && data.size() >= 10) {
        const auto b = [&](int i) { return quint32(quint8(data[i])) & 0x7f; };
        at = 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9));
    }
    FrameHeader header;
    if (data.size() < at + 4)
        return header;
    const auto byte = [&](qsizetype i) { return quint8(data[at + i]); };
    header.valid = byte(0) == 0xff && (byte(1) & 0xe0) == 0xe0;
    header.layer3 = ((byte(1) >> 1) & 0x3) == 0x1;
    header.mono = (byte(3) >> 6) == 0x3;
    return header;
}
} // namespace

class TestQMXSoundPool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void everyKeyNamesAnMp3OfTheBundle_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("file");
        const auto row = [](const QString& key, const QString& file) {
            QTest::newRow(qPrintable(key)) << key << file;
        };
        row(QStringLiteral("收缩压"), QStringLiteral("zuvo_bp_h"));
        row(QStringLiteral("舒张压"), QStringLiteral("zuvo_bp_l"));
        row(QStringLiteral("血压"), QStringLiteral("zuvo_bp"));
        row(QStringLiteral("心率"), QStringLiteral("zuvo_hr"));
        row(QStringLiteral("千帕"), QStringLiteral("zuvo_kpa"));
        row(QStringLiteral("毫米汞柱"), QStringLiteral("zuvo_mmhg"));
        for (const char* n : {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",   "9",  "10",
                              "20", "30", "40", "50", "60", "70", "80", "90", "100", "200"})
            row(QLatin1String(n), QStringLiteral("zuvo_num_") + QLatin1String(n));
        row(QStringLiteral("测量结果为"), QStringLiteral("zuvo_tru"));
        row(QStringLiteral("您的"), QStringLiteral("zuvo_yours"));
        row(QStringLiteral("吹完音效"), QStringLiteral("blew_result"));
        row(QStringLiteral("吹气音效"), QStringLiteral("blow"));
    }
    void everyKeyNamesAnMp3OfTheBundle() {
        QFETCH(QString, key);
        QFETCH(QString, file);
        const QMXSoundPool& pool = QMXSoundPool::sharedInstance();
        QCOMPARE(pool.soundPool().value(key), file);

        const QString path = pool.getSound(key);
        QVERIFY2(!path.isEmpty(), qPrintable(file + QStringLiteral(".mp3 is not in the bundle")));
        QCOMPARE(QFileInfo(path).fileName(), file + QStringLiteral(".mp3"));
        QCOMPARE(QFileInfo(path).dir().canonicalPath(),
                 QFileInfo(Bundle::resourcePath() + QStringLiteral("/sounds")).canonicalFilePath());

        QFile mp3(path);
        QVERIFY(mp3.open(QIODevice::ReadOnly));
        const QByteArray data = mp3.readAll();
        // Sounds ship inside the application: small.
        QVERIFY2(data.size() > 1000 && data.size() < 20000,
                 qPrintable(QString::number(data.size())));
        const FrameHeader header = firstFrame(data);
        QVERIFY2(header.valid, "no MPEG audio frame at the start");
        QVERIFY(header.layer3);
        QVERIFY(header.mono);
    }

    void thePoolHoldsTheTableAndNothingElse() {
        const QMXSoundPool& pool = QMXSoundPool::sharedInstance();
        QCOMPARE(pool.soundPool().size(), 31);
        // Reloading stores the same entries again rather than adding any.
        QMXSoundPool fresh;
        fresh.loadAllSound();
        QCOMPARE(fresh.soundPool(), pool.soundPool());

        for (const QString& key : {QString(), QStringLiteral("300"), QStringLiteral("11"),
                                   QStringLiteral("zuvo_num_5"), QStringLiteral("不存在")})
            QVERIFY2(pool.getSound(key).isEmpty(), qPrintable(key));
    }

    void aFileMissingFromTheBundleGivesNoPath() {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        Bundle::setResourcePath(empty.path());
        const QString path = QMXSoundPool::sharedInstance().getSound(QStringLiteral("吹气音效"));
        Bundle::setResourcePath(QString());
        QVERIFY2(path.isEmpty(), qPrintable(path));
        QVERIFY(!QMXSoundPool::sharedInstance().getSound(QStringLiteral("吹气音效")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQMXSoundPool)
#include "tst_qmxsoundpool.moc"
