#include "share/qmxsharetools.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialwechathandler.h"
#include "share/transport/contentlinks.h"
#include "share/vantorokeys.h"

#include <QtTest>

namespace {

QStringList g_log;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtInfoMsg && QLatin1String(context.category) == QLatin1String("vantoro.share"))
        g_log << message;
}

} // namespace

class TestQMXShareTools : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("vantoro.share.info=true"));
        ContentLinks::setBaseUrl(QUrl(QStringLiteral("http://content.example:8080/")));
    }

    void shareText_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");

        const QString base = QStringLiteral("http://content.example:8080");
        QTest::newRow("example")
            << 3200 << 85 << "X"
            << "k"
            << QStringLiteral("我在用 @Vantoro 测量肺活量,我的肺活量:3200毫升,超越了全球百分之85%"
                              "的环保卫士! X一起来玩吧~~") +
                   base + "/wechat/capacityPmShare.do?value=3200&percent=85&level=k"
            << base + "/wechat/capacityPmShare.do?value=3200&percent=85&level=k";
        QTest::newRow("empty description")
            << 100 << 1 << ""
            << "0_0"
            << QStringLiteral("我在用 @Vantoro 测量肺活量,我的肺活量:100毫升,超越了全球百分之1%"
                              "的环保卫士! 一起来玩吧~~") +
                   base + "/wechat/capacityPmShare.do?value=100&percent=1&level=0_0"
            << base + "/wechat/capacityPmShare.do?value=100&percent=1&level=0_0";
        // Neither blanks nor non-ASCII characters of the key are encoded, and
        // a place holder look-alike in the comment or key stays as it is.
        QTest::newRow("key unencoded")
            << 6000 << 100 << "吹得好 %1 50%"
            << "3 18 级%2"
            << QStringLiteral("我在用 @Vantoro 测量肺活量,我的肺活量:6000毫升,超越了全球百分之"
                              "100%的环保卫士! 吹得好 %1 50%一起来玩吧~~") +
                   base +
                   QStringLiteral("/wechat/capacityPmShare.do?value=6000&percent=100&"
                                  "level=3 18 级%2")
            << base + QStringLiteral("/wechat/capacityPmShare.do?value=6000&percent=100&level=3 "
                                     "18 级%2");
    }

    void shareText() {
        QFETCH(int, capacity);
        QFETCH(int, percent);
        QFETCH(QString, description);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, link);
        QCOMPARE(QMXShareTools::getBlewShareText(capacity, percent, description, key), text);
        QCOMPARE(QMXShareTools::blewLandingLink(capacity, percent, key), link);
        // Building the text points both connectors at its link.
        QCOMPARE(SocialWechatHandler::url(), link);
        QCOMPARE(SocialQQHandler::url(), link);
    }

    void reInitForShareCallsTheConnectorsInOrder() {
        SocialWechatHandler::setWXAppId(QStringLiteral("other"), QStringLiteral("http://old/"));
        SocialQQHandler::setQQWithAppId(QStringLiteral("1"), QStringLiteral("2"),
                                        QStringLiteral("http://old/"));
        SocialQQHandler::setSupportWebView(false);

        g_log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        QMXShareTools::reInitForShare(QStringLiteral("http://landing/x?a=1&b=2"));
        qInstallMessageHandler(previous);

        QCOMPARE(g_log.size(), 3);
        QVERIFY2(g_log[0].startsWith(QLatin1String("SocialQQHandler setQQWithAppId")),
                 qPrintable(g_log[0]));
        QVERIFY2(g_log[1].startsWith(QLatin1String("SocialQQHandler setSupportWebView")),
                 qPrintable(g_log[1]));
        QVERIFY2(g_log[2].startsWith(QLatin1String("SocialWechatHandler setWXAppId")),
                 qPrintable(g_log[2]));

        QCOMPARE(SocialQQHandler::appId(), QString::fromLatin1(VantoroKeys::qqAppId));
        QCOMPARE(SocialQQHandler::appKey(), QString::fromLatin1(VantoroKeys::qqAppKey));
        QCOMPARE(SocialQQHandler::url(), QStringLiteral("http://landing/x?a=1&b=2"));
        QVERIFY(SocialQQHandler::supportsWebView());
        QCOMPARE(SocialWechatHandler::appId(), QString::fromLatin1(VantoroKeys::wechatAppId));
        QCOMPARE(SocialWechatHandler::url(), QStringLiteral("http://landing/x?a=1&b=2"));
    }

    void fogTextIsAlwaysEmpty() {
        SocialWechatHandler::setWXAppId(QStringLiteral("wx"), QStringLiteral("http://kept/"));
        const QString text =
            QMXShareTools::getBlewFogText(3200, 85, QStringLiteral("X"), QStringLiteral("k"));
        QVERIFY(text.isEmpty());
        QVERIFY(!text.isNull());
        // It does not touch the connectors either.
        QCOMPARE(SocialWechatHandler::url(), QStringLiteral("http://kept/"));
    }
};

QTEST_GUILESS_MAIN(TestQMXShareTools)
#include "tst_qmxsharetools.moc"
