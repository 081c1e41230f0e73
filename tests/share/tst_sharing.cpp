#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/photoalbum.h"
#include "share/blewcommonutil.h"
#include "share/qmxsharetools.h"
#include "share/service/socialdata.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialresponse.h"
#include "share/service/socialwechathandler.h"
#include "share/sharing.h"
#include "share/sheet/socialshareeditor.h"
#include "share/sheet/socialsnssheet.h"
#include "share/transport/contentlinks.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/sharetransportregistry.h"
#include "share/vantorokeys.h"
#include "support/testimages.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The calls made on the share service, as it logs them: class and operation.
QStringList g_calls;
QStringList g_messages;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtInfoMsg || QLatin1String(context.category) != QLatin1String("vantoro.share") ||
        !message.startsWith(QLatin1String("Social")))
        return;
    g_calls << message.section(u' ', 0, 1).remove(u',');
    g_messages << message;
}

class CallLog {
public:
    CallLog() {
        g_calls.clear();
        g_messages.clear();
        m_previous = qInstallMessageHandler(collect);
    }
    ~CallLog() { qInstallMessageHandler(m_previous); }

private:
    QtMessageHandler m_previous;
};

} // namespace

// A screen that shares: it writes down what the share service tells it.
class ShareScreen : public QWidget {
    Q_OBJECT
public:
    QStringList calls;

    Q_INVOKABLE void didSelectSocialPlatform(const QString& platformName, SocialData*) {
        calls << QStringLiteral("select ") + platformName;
    }
    Q_INVOKABLE void didFinishGetSocialDataInViewController(const SocialResponse& response) {
        calls << QStringLiteral("finish %1").arg(response.responseCode());
    }
};

// Each call of the screens' door to sharing makes the share service's calls
// its contract asks for, in order, and leaves the shared data and the
// connectors as the screens rely on.
class TestSharing : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QWidget* m_window = nullptr;
    ShareScreen* m_screen = nullptr;

    QString outbox() const { return m_dir.filePath(QStringLiteral("outbox")); }
    QStringList records() const {
        return QDir(outbox()).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    }
    QJsonObject lastRecord() const {
        QFile file(QDir(outbox()).filePath(records().constLast()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    QImage recordImage(const QJsonObject& record) const {
        return QImage(QDir(outbox()).filePath(record.value(QStringLiteral("image")).toString()));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("vantoro.share.info=true"));
        QVERIFY(m_dir.isValid());
        PhotoAlbum::setFolder(m_dir.filePath(QStringLiteral("album")));
        SocialResponse::registerMetaType();
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
        ContentLinks::setBaseUrl(QUrl(QStringLiteral("http://content.example")));
        MainScreen::set({320, 568}, 1);

        m_window = new QWidget;
        m_window->setFixedSize(320, 568);
        m_window->setAutoFillBackground(true);
        m_window->setPalette(QPalette(QColor(0x20, 0x60, 0xa0)));
        m_screen = new ShareScreen;
        m_screen->setParent(m_window);
        m_screen->setGeometry(m_window->rect());
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanupTestCase() {
        ShareTransportRegistry::sharedInstance().clear();
        PhotoAlbum::setFolder(QString());
        delete m_window;
    }

    void init() {
        QDir(outbox()).removeRecursively();
        ShareTransportRegistry::sharedInstance().setTransports(
            {std::make_shared<OutboxShareTransport>(outbox())});
        m_screen->calls.clear();
        SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId),
                                        QStringLiteral("http://content.example"));
        SocialQQHandler::setQQWithAppId(QString::fromLatin1(VantoroKeys::qqAppId),
                                        QString::fromLatin1(VantoroKeys::qqAppKey),
                                        QStringLiteral("http://content.example"));
    }

    void cleanup() {
        if (SocialSnsSheet::current())
            SocialSnsSheet::current()->cancel();
        if (SocialShareEditor::current())
            SocialShareEditor::current()->cancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The screenshot is in "screenShow.png" before the sheet opens, for the
    // fill call that follows the pick; the pick goes to the screen.
    void sheetOpensOverTheScreenshotKeptOnFile() {
        QFile::remove(BlewCommonUtil::screenShowPath());
        {
            CallLog log;
            Sharing::presentSheet(m_screen);
            QCOMPARE(g_calls,
                     QStringList{QStringLiteral("SocialSnsService presentSnsIconSheetView")});
        }
        const QImage kept = BlewCommonUtil::readScreenShow();
        QCOMPARE(kept.size(), QSize(320, 568));
        QCOMPARE(kept.pixel(160, 284), qRgb(0x20, 0x60, 0xa0));
        QCOMPARE(SocialData::defaultData()->shareImage().convertToFormat(QImage::Format_RGB32),
                 kept.convertToFormat(QImage::Format_RGB32));

        SocialSnsSheet* sheet = SocialSnsSheet::current();
        QVERIFY(sheet);
        QCOMPARE(sheet->platformNames(),
                 (QStringList{QStringLiteral("wxtimeline"), QStringLiteral("sina"),
                              QStringLiteral("wxsession")}));
        QVERIFY(sheet->pick(QStringLiteral("sina")));
        QCOMPARE(m_screen->calls,
                 (QStringList{QStringLiteral("select sina"), QStringLiteral("finish 200")}));
    }

    // QQ and WeChat are pointed at the result's landing page in the share
    // tools' order; the shared title is the result's, set after the picked
    // data's bare name (the picked data is the shared one).
    void lungTestPickSharesTheResult() {
        const QImage shot = filledImage(Qt::magenta, {32, 24});
        QVERIFY(BlewCommonUtil::writeScreenShow(pngOf(shot)));
        SocialData* data = SocialData::defaultData();
        data->urlResource().setResourceType(2, QStringLiteral("http://attached"));
        const QString link = QMXShareTools::blewLandingLink(3250, 54, QStringLiteral("2_16"));
        {
            CallLog log;
            Sharing::fillLungTestShare(data, 3250, 54, QStringLiteral("评语"),
                                       QStringLiteral("2_16"));
            QCOMPARE(g_calls, (QStringList{QStringLiteral("SocialQQHandler setQQWithAppId"),
                                           QStringLiteral("SocialQQHandler setSupportWebView"),
                                           QStringLiteral("SocialWechatHandler setWXAppId")}));
        }
        QCOMPARE(SocialQQHandler::url(), link);
        QCOMPARE(SocialWechatHandler::url(), link);
        QCOMPARE(data->extConfig().title(), QStringLiteral("我的肺活量3250毫升 - Vantoro "));
        QCOMPARE(data->shareText(), QMXShareTools::getBlewShareText(
                                        3250, 54, QStringLiteral("评语"), QStringLiteral("2_16")));
        QVERIFY(data->shareText().endsWith(link));
        QCOMPARE(data->shareImage().convertToFormat(QImage::Format_RGB32), shot);
        QCOMPARE(data->urlResource().resourceType(), 0);
        QVERIFY(!data->urlResource().isAttached());
    }

    // Only WeChat follows the ranking page; a screenshot that cannot be read
    // back leaves no image rather than the last share's.
    void rankingPickPointsWechatAlone() {
        QFile::remove(BlewCommonUtil::screenShowPath());
        SocialData* data = SocialData::defaultData();
        data->setShareImage(filledImage(Qt::red, {32, 24}));
        SocialQQHandler::setQQWithAppId(QString::fromLatin1(VantoroKeys::qqAppId),
                                        QString::fromLatin1(VantoroKeys::qqAppKey),
                                        QStringLiteral("http://lung-test-link"));
        const QString rankLink = QStringLiteral("http://content.example/wechat/getPm25Rank.do");
        {
            CallLog log;
            Sharing::fillRankingShare(data, rankLink);
            QCOMPARE(g_calls, QStringList{QStringLiteral("SocialWechatHandler setWXAppId")});
        }
        QCOMPARE(SocialWechatHandler::url(), rankLink);
        QCOMPARE(SocialQQHandler::url(), QStringLiteral("http://lung-test-link"));
        QCOMPARE(data->extConfig().title(), QStringLiteral("Vantoro"));
        QCOMPARE(data->shareText(),
                 QStringLiteral("我从 @Vantoro 给你分享了今天的最新pm2.5城市排名。"));
        QVERIFY(data->shareImage().isNull());
        QCOMPARE(data->urlResource().resourceType(), 0);
    }

    void directPost_data() {
        QTest::addColumn<Sharing::Network>("network");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("link");
        const QString landing =
            QStringLiteral("http://content.example/wechat/getPm25Capacity.do?percent=90&random=2");
        const QString wechat = QStringLiteral("SocialWechatHandler setWXAppId");
        const QString post = QStringLiteral("SocialDataService postSNSWithTypes");
        QTest::newRow("WeChat chat")
            << Sharing::Network::WechatChat << "wxsession" << QStringList{wechat, post} << landing;
        QTest::newRow("WeChat Moments") << Sharing::Network::WechatMoments << "wxtimeline"
                                        << QStringList{wechat, post} << landing;
        // Weibo's link is the one its text ends with; WeChat's stays.
        QTest::newRow("Sina Weibo") << Sharing::Network::SinaWeibo << "sina" << QStringList{post}
                                    << "http://content.example/text-link";
    }
    void directPost() {
        QFETCH(Sharing::Network, network);
        QFETCH(QString, platform);
        QFETCH(QStringList, calls);
        QFETCH(QString, link);
        const QString text = QStringLiteral("我在玩 @Vantoro http://content.example/text-link");
        const QString landing =
            QStringLiteral("http://content.example/wechat/getPm25Capacity.do?percent=90&random=2");
        {
            CallLog log;
            Sharing::setSharedTitle(QStringLiteral("我把雾霾吹到了3920米 - Vantoro "));
            Sharing::post(m_screen, network, text, landing);
            QCOMPARE(g_calls, calls);
            QVERIFY2(g_messages.constLast().contains(platform), qPrintable(g_messages.constLast()));
        }
        QCOMPARE(records().size(), 1);
        const QJsonObject sent = lastRecord();
        QCOMPARE(sent.value(QStringLiteral("platform")).toString(), platform);
        QCOMPARE(sent.value(QStringLiteral("text")).toString(), text);
        QCOMPARE(sent.value(QStringLiteral("link")).toString(), link);
        QCOMPARE(sent.value(QStringLiteral("title")).toString(),
                 QStringLiteral("我把雾霾吹到了3920米 - Vantoro "));
        QCOMPARE(recordImage(sent).pixel(160, 284), qRgb(0x20, 0x60, 0xa0));
        if (network == Sharing::Network::SinaWeibo)
            QCOMPARE(SocialWechatHandler::url(), QStringLiteral("http://content.example"));
        // The outcome is not the screen's business.
        QTest::qWait(20);
        QVERIFY(m_screen->calls.isEmpty());
    }

    // The editor opens over the screen with the text and the screenshot;
    // what becomes of it goes to the screen, and WeChat is not touched.
    void weiboEditorOpensOverTheScreen() {
        {
            CallLog log;
            Sharing::openWeiboEditor(m_screen, QStringLiteral("我把雾霾吹到了3920米"));
            QCOMPARE(g_calls, (QStringList{QStringLiteral("SocialControllerService setShareText"),
                                           QStringLiteral("SocialSnsPlatform \"sina\"")}));
            QVERIFY2(g_messages.constLast().endsWith(QLatin1String("present true")),
                     qPrintable(g_messages.constLast()));
        }
        SocialShareEditor* editor = SocialShareEditor::current();
        QVERIFY(editor);
        QCOMPARE(editor->parentWidget(), m_screen);
        QCOMPARE(editor->text(), QStringLiteral("我把雾霾吹到了3920米"));
        QVERIFY(editor->thumbnail()->isVisible());
        QVERIFY(records().isEmpty());
        editor->cancel();
        QTRY_COMPARE(m_screen->calls, QStringList{QStringLiteral("finish 5001")});
        QCOMPARE(SocialWechatHandler::url(), QStringLiteral("http://content.example"));
    }
};

QTEST_MAIN(TestSharing)
#include "tst_sharing.moc"
