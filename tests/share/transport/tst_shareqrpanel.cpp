#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/photoalbum.h"
#include "share/qmxsharetools.h"
#include "share/service/socialdata.h"
#include "share/service/socialresponse.h"
#include "share/sharing.h"
#include "share/sheet/socialsnssheet.h"
#include "share/transport/contentlinks.h"
#include "share/transport/desktopsharetransport.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/qrcode.h"
#include "share/transport/shareqrpanel.h"
#include "share/transport/sharetransportregistry.h"
#include "share/vantorokeys.h"
#include "support/installedtransports.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

// Shares its lung-test result on a pick, as the lung test screen does.
class ResultScreen : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE void didSelectSocialPlatform(const QString&, SocialData* picked) {
        Sharing::fillLungTestShare(picked, 3250, 54, QStringLiteral("评语"),
                                   QStringLiteral("2_16"));
    }
};

// A WeChat share from the sheet, with the application's transports, against
// a content server on this computer and one that phones can reach: the first
// gets a card without a code that says how to fix it, the second the code;
// both are kept in the outbox alike.
class TestShareQrPanel : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_artifacts;
    QUrl m_previousBase;
    QWidget* m_window = nullptr;
    ResultScreen* m_screen = nullptr;
    std::optional<Installed<ShareTransportRegistry>> m_transports;

    QDir outbox() const { return QDir(m_dir.filePath(QStringLiteral("outbox"))); }

    QJsonObject onlyRecord() const {
        const QStringList records = outbox().entryList({QStringLiteral("*.json")}, QDir::Files);
        if (records.size() != 1)
            return {};
        QFile file(outbox().filePath(records.first()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    // Everything on the card lies inside it, in order, and the note has the
    // height its wrapped lines need.
    static void checkCardHoldsItsText(ShareQrPanel* panel) {
        auto* card = panel->findChild<QWidget*>(QStringLiteral("card"));
        auto* note = panel->findChild<QLabel*>(QStringLiteral("note"));
        auto* close = panel->findChild<QPushButton*>();
        QVERIFY(card && note && close);
        QVERIFY(panel->rect().contains(card->geometry()));
        QVERIFY(card->rect().contains(note->geometry()));
        QVERIFY(card->rect().contains(close->geometry()));
        QVERIFY(note->geometry().bottom() < close->geometry().top());
        QVERIFY2(note->heightForWidth(note->width()) <= note->height(),
                 qPrintable(QStringLiteral("note needs %1 px, has %2")
                                .arg(note->heightForWidth(note->width()))
                                .arg(note->height())));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_artifacts = qEnvironmentVariable("VANTORO_ARTIFACTS", m_dir.path());
        QDir().mkpath(m_artifacts);
        m_previousBase = ContentLinks::baseUrl();
        PhotoAlbum::setFolder(m_dir.filePath(QStringLiteral("album")));
        SocialResponse::registerMetaType();
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
        MainScreen::set({320, 568}, 2);

        m_window = new QWidget;
        m_window->setFixedSize(320, 568);
        m_window->setAutoFillBackground(true);
        m_window->setPalette(QPalette(QColor(0x20, 0x60, 0xa0)));
        m_screen = new ResultScreen;
        m_screen->setParent(m_window);
        m_screen->setGeometry(m_window->rect());
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanupTestCase() {
        ContentLinks::setBaseUrl(m_previousBase);
        PhotoAlbum::setFolder(QString());
        delete m_window;
    }

    void init() {
        outbox().removeRecursively();
        m_transports.emplace(QList<std::shared_ptr<ShareTransport>>{
            std::make_shared<OutboxShareTransport>(outbox().path()),
            std::make_shared<DesktopShareTransport>()});
    }

    void cleanup() {
        m_transports.reset();
        if (ShareQrPanel::current())
            ShareQrPanel::current()->close();
        if (SocialSnsSheet::current())
            SocialSnsSheet::current()->cancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void wechatShareFromTheSheet_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("phoneCanOpen");
        QTest::newRow("embedded") << QStringLiteral("http://127.0.0.1:41234") << false;
        QTest::newRow("public") << QStringLiteral("https://vantoro.example.com") << true;
        // A phone on the same network reaches it.
        QTest::newRow("lan") << QStringLiteral("http://192.168.1.20:8080") << true;
    }
    void wechatShareFromTheSheet() {
        QFETCH(QString, base);
        QFETCH(bool, phoneCanOpen);
        ContentLinks::setBaseUrl(QUrl(base));

        Sharing::presentSheet(m_screen);
        QVERIFY(SocialSnsSheet::current());
        QTest::mouseClick(SocialSnsSheet::current()->iconButton(QStringLiteral("wxsession")),
                          Qt::LeftButton);

        const QString link = QMXShareTools::blewLandingLink(3250, 54, QStringLiteral("2_16"));
        QVERIFY(link.startsWith(base + QStringLiteral("/wechat/")));
        const QJsonObject record = onlyRecord();
        QCOMPARE(record.value(QStringLiteral("platform")).toString(), QStringLiteral("wxsession"));
        QCOMPARE(record.value(QStringLiteral("link")).toString(), link);
        QVERIFY(record.value(QStringLiteral("text")).toString().endsWith(link));
        QVERIFY(outbox().exists(record.value(QStringLiteral("image")).toString()));

        ShareQrPanel* panel = ShareQrPanel::current();
        QVERIFY(panel);
        QCOMPARE(panel->heading(), QStringLiteral("微信好友"));
        auto* code = panel->findChild<QLabel*>(QStringLiteral("code"));
        QVERIFY(code);
        if (phoneCanOpen) {
            QCOMPARE(panel->qrImage(), QrCode::encode(link).toImage(4));
            QVERIFY(code->isVisible());
            QCOMPARE(panel->note(), QString::fromUtf8(DesktopShareTransport::kWechatNote));
        } else {
            QVERIFY(panel->qrImage().isNull());
            QVERIFY(!code->isVisible());
            // One short sentence for the player: options are for the log.
            QCOMPARE(panel->note(), QString::fromUtf8(DesktopShareTransport::kLocalLinkNote));
            const auto* note = panel->findChild<QLabel*>(QStringLiteral("note"));
            QVERIFY(note->heightForWidth(note->width()) <= 2 * note->heightForWidth(10000));
        }
        checkCardHoldsItsText(panel);
        QVERIFY(m_window->grab().toImage().save(
            m_artifacts + QStringLiteral("/share-qr-%1.png").arg(QTest::currentDataTag())));
    }
};

int main(int argc, char* argv[]) {
    // The application's own scale, so the artifacts look as it does.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestShareQrPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shareqrpanel.moc"
