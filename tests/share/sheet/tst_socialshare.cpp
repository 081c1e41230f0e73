#include "platform/uikit/keywindow.h"
#include "platform/uikit/tabbar.h"
#include "share/service/socialcontrollerservice.h"
#include "share/service/socialdata.h"
#include "share/service/socialdataservice.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialshareeditor.h"
#include "share/sheet/socialsnsplatform.h"
#include "share/sheet/socialsnsplatformmanager.h"
#include "share/sheet/socialsnssheet.h"
#include "share/sheet/socialuidelegate.h"
#include "share/socialsnsservice.h"
#include "share/transport/contentlinks.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/sharetransportregistry.h"
#include "share/vantorokeys.h"
#include "support/installedtransports.h"
#include "support/testimages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <optional>

namespace {} // namespace

// A sharing screen: it fills the share data when a network is picked (the
// contents set by the test) and writes down what the service called, with
// how many records the outbox held at that moment.
class SharingScreen : public QWidget {
    Q_OBJECT
public:
    QString outbox;
    QString title;
    QString text;
    QImage image;
    QStringList calls;
    QList<SocialResponse> responses;
    bool onMainThread = true;

    int records() const {
        return int(QDir(outbox).entryList({QStringLiteral("*.json")}, QDir::Files).size());
    }

    Q_INVOKABLE void didSelectSocialPlatform(const QString& platformName, SocialData* socialData) {
        calls << QStringLiteral("select %1 with %2 records").arg(platformName).arg(records());
        QCOMPARE(socialData, SocialData::defaultData());
        if (!title.isNull())
            socialData->extConfig().setTitle(title);
        if (!text.isNull())
            socialData->setShareText(text);
        if (!image.isNull())
            socialData->setShareImage(image);
        socialData->urlResource().setResourceType(0, QString());
    }

    Q_INVOKABLE void didFinishGetSocialDataInViewController(const SocialResponse& response) {
        calls << QStringLiteral("finish %1").arg(response.responseCode());
        responses << response;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }
};

// A screen that answers only the pick, as the lung test does.
class PickOnlyScreen : public QWidget {
    Q_OBJECT
public:
    int picks = 0;
    Q_INVOKABLE void didSelectSocialPlatform(const QString&, SocialData* socialData) {
        ++picks;
        socialData->setShareText(QStringLiteral("pick only"));
    }
};

class TestSocialShare : public QObject {
    Q_OBJECT
private:
    static inline const QStringList kSheet{QStringLiteral("wxtimeline"), QStringLiteral("sina"),
                                           QStringLiteral("wxsession")};

    QTemporaryDir m_outbox;
    std::optional<Installed<ShareTransportRegistry>> m_transports;
    QWidget* m_window = nullptr;
    TabBar* m_tabBar = nullptr;
    SharingScreen* m_screen = nullptr;

    QStringList records() const {
        return QDir(m_outbox.path()).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    }

    QJsonObject record(int index) const {
        QFile file(m_outbox.filePath(records().at(index)));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QImage recordImage(const QJsonObject& record) const {
        return QImage(m_outbox.filePath(record.value(QStringLiteral("image")).toString()));
    }

    void present(QObject* delegate, const QString& text = QString(), const QByteArray& png = {}) {
        SocialSnsService::presentSnsIconSheetView(
            m_screen, QString::fromLatin1(VantoroKeys::appKey), text, png, kSheet, delegate);
    }

    static QPoint centreIn(QWidget* widget, QWidget* of) {
        return widget->mapTo(of, widget->rect().center());
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_outbox.isValid());
        SocialResponse::registerMetaType();
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
        ContentLinks::setBaseUrl(QUrl(QStringLiteral("http://content.example")));
        SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId),
                                        QStringLiteral("http://content.example/rank"));

        m_window = new QWidget;
        m_window->setFixedSize(320, 568);
        m_screen = new SharingScreen;
        m_screen->setParent(m_window);
        m_screen->setGeometry(m_window->rect());
        m_tabBar = new TabBar(m_window);
        m_tabBar->setGeometry(0, 568 - TabBar::kHeight, 320, TabBar::kHeight);
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanupTestCase() {
        m_transports.reset();
        delete m_window;
    }

    void init() {
        QDir(m_outbox.path()).removeRecursively();
        QDir().mkpath(m_outbox.path());
        m_transports.emplace(QList<std::shared_ptr<ShareTransport>>{
            std::make_shared<OutboxShareTransport>(m_outbox.path())});
        m_screen->outbox = m_outbox.path();
        m_screen->calls.clear();
        m_screen->responses.clear();
        m_screen->title = QStringLiteral("我的肺活量3200毫升 - Vantoro ");
        m_screen->text = QStringLiteral("shared text");
        m_screen->image = filledImage(Qt::darkCyan);
    }

    void cleanup() {
        if (SocialSnsSheet::current())
            SocialSnsSheet::current()->cancel();
        if (SocialShareEditor::current())
            SocialShareEditor::current()->cancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void sheetShowsTheThreeNetworksOverEverything() {
        present(m_screen);
        SocialSnsSheet* sheet = SocialSnsSheet::current();
        QVERIFY(sheet);
        QCOMPARE(sheet->platformNames(), kSheet);
        QCOMPARE(sheet->parentWidget(), m_window);
        QCOMPARE(sheet->geometry(), m_window->rect());

        int lastX = -1;
        const QStringList labels{QStringLiteral("朋友圈"), QStringLiteral("新浪微博"),
                                 QStringLiteral("微信好友")};
        for (int i = 0; i < kSheet.size(); ++i) {
            QAbstractButton* icon = sheet->iconButton(kSheet[i]);
            QVERIFY(icon);
            QCOMPARE(icon->text(), labels[i]);
            QVERIFY2(!icon->icon().isNull(), qPrintable(kSheet[i]));
            QVERIFY(icon->geometry().x() > lastX);
            lastX = icon->geometry().x();
        }
        QCOMPARE(sheet->cancelButton()->text(), QStringLiteral("取消"));
        // The panel lies over the tab bar: a tap there reaches the sheet.
        QWidget* hit = m_window->childAt(centreIn(m_tabBar, m_window));
        QVERIFY(hit == sheet || sheet->isAncestorOf(hit));

        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        QVERIFY(!SocialSnsSheet::current());
        QVERIFY(m_screen->calls.isEmpty());
        QVERIFY(records().isEmpty());
    }

    void sheetLeavesOutNamesItDoesNotKnow() {
        SocialSnsService::presentSnsIconSheetView(
            m_screen, QString::fromLatin1(VantoroKeys::appKey), QString(), {},
            {QStringLiteral("qzone"), QStringLiteral("sina"), QStringLiteral("sina")}, m_screen);
        QCOMPARE(SocialSnsSheet::current()->platformNames(), QStringList{QStringLiteral("sina")});
        QVERIFY(!SocialSnsSheet::current()->pick(QStringLiteral("wxsession")));
        QVERIFY(SocialSnsSheet::current());
    }

    void tapsOutsideThePanelCloseWithoutSharing() {
        present(m_screen);
        SocialSnsSheet* sheet = SocialSnsSheet::current();
        // On the panel between its buttons: stays open.
        QTest::mouseClick(sheet, Qt::LeftButton, {},
                          QPoint(5, sheet->panel()->geometry().top() + 5));
        QCOMPARE(SocialSnsSheet::current(), sheet);
        // Above the panel: closes.
        QTest::mouseClick(sheet, Qt::LeftButton, {}, QPoint(160, 100));
        QVERIFY(!SocialSnsSheet::current());

        present(m_screen);
        QTest::keyClick(SocialSnsSheet::current(), Qt::Key_Escape);
        QVERIFY(!SocialSnsSheet::current());
        QVERIFY(m_screen->calls.isEmpty());
        QVERIFY(records().isEmpty());
    }

    void pickFillsTheDataBeforeSendingIt() {
        SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId),
                                        QStringLiteral("http://content.example/wechat/x?a=1&b=2"));
        present(m_screen, QString(), pngOf(filledImage(Qt::red)));
        SocialSnsSheet* sheet = SocialSnsSheet::current();
        QTest::mouseClick(sheet->iconButton(QStringLiteral("wxtimeline")), Qt::LeftButton);

        QVERIFY(!SocialSnsSheet::current());
        QCOMPARE(m_screen->calls, (QStringList{QStringLiteral("select wxtimeline with 0 records"),
                                               QStringLiteral("finish 200")}));
        QCOMPARE(m_screen->responses.at(0).platformName(), QStringLiteral("wxtimeline"));
        QCOMPARE(records().size(), 1);
        const QJsonObject sent = record(0);
        QCOMPARE(sent.value(QStringLiteral("platform")).toString(), QStringLiteral("wxtimeline"));
        QCOMPARE(sent.value(QStringLiteral("title")).toString(), m_screen->title);
        QCOMPARE(sent.value(QStringLiteral("text")).toString(), m_screen->text);
        QCOMPARE(sent.value(QStringLiteral("link")).toString(),
                 QStringLiteral("http://content.example/wechat/x?a=1&b=2"));
        QVERIFY(
            QDateTime::fromString(sent.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                .isValid());
        // The delegate's image, not the one the sheet was opened with.
        QCOMPARE(recordImage(sent).convertToFormat(QImage::Format_RGB32), m_screen->image);
    }

    void secondShareKeepsWhatItDoesNotSet() {
        present(m_screen);
        QVERIFY(SocialSnsSheet::current()->pick(QStringLiteral("wxsession")));
        const QJsonObject first = record(0);

        // Opening a sheet while one is on show replaces it.
        present(m_screen);
        SocialSnsSheet* replaced = SocialSnsSheet::current();
        present(m_screen);
        QVERIFY(SocialSnsSheet::current() != replaced);

        // The second screen sets a new text with a link, nothing else.
        const QString link = QStringLiteral("http://content.example/wechat/capacityPmShare.do?"
                                            "value=3200&percent=85&level=2 3");
        m_screen->title = QString();
        m_screen->image = QImage();
        m_screen->text = QStringLiteral("第二次分享 ") + link;
        QVERIFY(SocialSnsSheet::current()->pick(QStringLiteral("sina")));

        QCOMPARE(records().size(), 2);
        QCOMPARE(record(0), first);
        const QJsonObject second = record(1);
        QCOMPARE(second.value(QStringLiteral("platform")).toString(), QStringLiteral("sina"));
        QCOMPARE(second.value(QStringLiteral("text")).toString(), m_screen->text);
        // Weibo's link is the one the text ends with, blanks and all.
        QCOMPARE(second.value(QStringLiteral("link")).toString(), link);
        QCOMPARE(second.value(QStringLiteral("title")).toString(),
                 first.value(QStringLiteral("title")).toString());
        QCOMPARE(recordImage(second), recordImage(first));
        QVERIFY(second.value(QStringLiteral("image")).toString() !=
                first.value(QStringLiteral("image")).toString());
    }

    void sheetContentIsSentWhenTheDelegateFillsNothing() {
        PickOnlyScreen pickOnly;
        const QImage red = filledImage(Qt::red, {20, 10});
        SocialSnsService::presentSnsIconSheetView(
            &pickOnly, QString::fromLatin1(VantoroKeys::appKey), QStringLiteral("from the sheet"),
            pngOf(red), kSheet, &pickOnly);
        QVERIFY(SocialSnsSheet::current()->pick(QStringLiteral("wxsession")));
        QCOMPARE(pickOnly.picks, 1);
        QCOMPARE(record(0).value(QStringLiteral("text")).toString(), QStringLiteral("pick only"));
        QCOMPARE(recordImage(record(0)).convertToFormat(QImage::Format_RGB32), red);

        // A delegate gone by the time of the pick: the share still goes out.
        auto* gone = new SharingScreen;
        present(gone, QStringLiteral("nobody listens"));
        delete gone;
        QVERIFY(SocialSnsSheet::current()->pick(QStringLiteral("wxsession")));
        QCOMPARE(records().size(), 2);
        QCOMPARE(record(1).value(QStringLiteral("text")).toString(),
                 QStringLiteral("nobody listens"));
    }

    void directPostGoesToTheNamedNetwork() {
        SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId),
                                        QStringLiteral("http://content.example/wechat/"
                                                       "getPm25Capacity.do?percent=90&random=2"));
        SocialData::defaultData()->extConfig().setTitle(
            QStringLiteral("我把雾霾吹到了3920米 - Vantoro "));
        const QByteArray png = pngOf(filledImage(Qt::blue));
        QList<SocialResponse> responses;
        bool onMain = false;
        SocialDataService::defaultDataService().postSNSWithTypes(
            {QStringLiteral("wxsession")}, QStringLiteral("我在玩 @Vantoro"), png, QVariant(),
            nullptr, m_screen, [&](const SocialResponse& response) {
                responses << response;
                onMain = QThread::currentThread() == qApp->thread();
            });
        // The record is there at once; the completion comes from the main
        // queue, after the call has returned.
        QCOMPARE(records().size(), 1);
        QVERIFY(responses.isEmpty());
        QTRY_COMPARE(responses.size(), 1);
        QVERIFY(onMain);
        QCOMPARE(responses[0].responseCode(), int(SocialResponse::Success));

        const QJsonObject sent = record(0);
        QCOMPARE(sent.value(QStringLiteral("platform")).toString(), QStringLiteral("wxsession"));
        QCOMPARE(
            sent.value(QStringLiteral("link")).toString(),
            QStringLiteral("http://content.example/wechat/getPm25Capacity.do?percent=90&random=2"));
        QCOMPARE(sent.value(QStringLiteral("title")).toString(),
                 QStringLiteral("我把雾霾吹到了3920米 - Vantoro "));
        QCOMPARE(sent.value(QStringLiteral("text")).toString(), QStringLiteral("我在玩 @Vantoro"));
        QFile image(m_outbox.filePath(sent.value(QStringLiteral("image")).toString()));
        QVERIFY(image.open(QIODevice::ReadOnly));
        QCOMPARE(image.readAll(), png);
    }

    void directPostFailuresAndGoneScreens() {
        QList<int> codes;
        ShareTransportRegistry::sharedInstance().clear();
        SocialDataService::defaultDataService().postSNSWithTypes(
            {QStringLiteral("wxtimeline")}, QStringLiteral("t"), {}, QVariant(), nullptr, nullptr,
            [&](const SocialResponse& response) { codes << response.responseCode(); });
        QTRY_COMPARE(codes, QList<int>{int(SocialResponse::Failed)});

        init();
        codes.clear();
        SocialDataService::defaultDataService().postSNSWithTypes(
            {QStringLiteral("qzone")}, QStringLiteral("t"), {}, QVariant(), nullptr, nullptr,
            [&](const SocialResponse& response) { codes << response.responseCode(); });
        QTRY_COMPARE(codes, QList<int>{int(SocialResponse::Failed)});
        QVERIFY(records().isEmpty());

        // The screen that posted is gone when the completion is due: the
        // post is kept, the completion is not run.
        codes.clear();
        auto* screen = new QWidget;
        SocialDataService::defaultDataService().postSNSWithTypes(
            {QStringLiteral("wxtimeline")}, QStringLiteral("t"), {}, QVariant(), nullptr, screen,
            [&](const SocialResponse& response) { codes << response.responseCode(); });
        delete screen;
        QTest::qWait(50);
        QVERIFY(codes.isEmpty());
        QCOMPARE(records().size(), 1);
    }

    void weiboEditorSendsTheEditedText() {
        const QImage shot = filledImage(Qt::magenta, {64, 114});
        SocialControllerService& service = SocialControllerService::defaultControllerService();
        service.setShareText(QStringLiteral("我把雾霾吹到了3920米"), pngOf(shot), m_screen);
        const SocialSnsPlatform* sina =
            SocialSnsPlatformManager::getSocialPlatformWithName(QStringLiteral("sina"));
        QVERIFY(sina);
        const QString wechatLink = SocialWechatHandler::url();
        sina->snsClickHandler(m_screen, service, true);

        SocialShareEditor* editor = SocialShareEditor::current();
        QVERIFY(editor);
        QCOMPARE(editor->parentWidget(), m_screen);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("我把雾霾吹到了3920米"));
        QVERIFY(editor->thumbnail()->isVisible());
        QCOMPARE(editor->sendButton()->text(), QStringLiteral("发送"));
        QCOMPARE(editor->cancelButton()->text(), QStringLiteral("取消"));
        QVERIFY(records().isEmpty());

        editor->textEdit()->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor->textEdit(), QStringLiteral("!!"));
        QTest::mouseClick(editor->sendButton(), Qt::LeftButton);
        QVERIFY(!SocialShareEditor::current());

        QCOMPARE(records().size(), 1);
        const QJsonObject sent = record(0);
        QCOMPARE(sent.value(QStringLiteral("platform")).toString(), QStringLiteral("sina"));
        QCOMPARE(sent.value(QStringLiteral("text")).toString(),
                 QStringLiteral("我把雾霾吹到了3920米!!"));
        QCOMPARE(recordImage(sent).convertToFormat(QImage::Format_RGB32), shot);
        QTRY_COMPARE(m_screen->calls, QStringList{QStringLiteral("finish 200")});
        QVERIFY(m_screen->onMainThread);
        // Weibo leaves the WeChat link alone.
        QCOMPARE(SocialWechatHandler::url(), wechatLink);
    }

    void weiboEditorCancelSendsNothing() {
        SocialControllerService& service = SocialControllerService::defaultControllerService();
        service.setShareText(QStringLiteral("x"), {}, m_screen);
        SocialSnsPlatformManager::getSocialPlatformWithName(QStringLiteral("sina"))
            ->snsClickHandler(m_screen, service, true);
        QVERIFY(!SocialShareEditor::current()->thumbnail()->isVisible());
        QTest::mouseClick(SocialShareEditor::current()->cancelButton(), Qt::LeftButton);
        QVERIFY(!SocialShareEditor::current());
        QCOMPARE(m_screen->calls,
                 QStringList{QStringLiteral("finish %1").arg(int(SocialResponse::Cancelled))});
        QTest::qWait(20);
        QVERIFY(records().isEmpty());
    }

    void wechatPlatformPostsAtOnce() {
        SocialControllerService& service = SocialControllerService::defaultControllerService();
        service.setShareText(QStringLiteral("moments"), {}, m_screen);
        SocialSnsPlatformManager::getSocialPlatformWithName(QStringLiteral("wxtimeline"))
            ->snsClickHandler(m_screen, service, true);
        QVERIFY(!SocialShareEditor::current());
        QCOMPARE(records().size(), 1);
        QCOMPARE(record(0).value(QStringLiteral("text")).toString(), QStringLiteral("moments"));
        QCOMPARE(record(0).value(QStringLiteral("image")).toString(), QString());
        QTRY_COMPARE(m_screen->calls, QStringList{QStringLiteral("finish 200")});
    }
};

QTEST_MAIN(TestSocialShare)
#include "tst_socialshare.moc"
