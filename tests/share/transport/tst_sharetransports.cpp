#include "platform/uikit/keywindow.h"
#include "share/transport/contentlinks.h"
#include "share/transport/desktopsharetransport.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/qrcode.h"
#include "share/transport/shareqrpanel.h"

#include <QClipboard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

class TestShareTransports : public QObject {
    Q_OBJECT
private:
    static QJsonObject readRecord(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void weiboUrlEncodesEveryValue() {
        const QUrl url = DesktopShareTransport::weiboShareUrl(
            QStringLiteral("a b&c+d%e#f=g 中"), QStringLiteral("http://h:8/p?x=1&y=2"));
        QCOMPARE(url.toEncoded(), QByteArray("https://service.weibo.com/share/share.php"
                                             "?url=http%3A%2F%2Fh%3A8%2Fp%3Fx%3D1%26y%3D2"
                                             "&title=a%20b%26c%2Bd%25e%23f%3Dg%20%E4%B8%AD"));
        QVERIFY(url.isValid());
    }

    void weiboUrlCarriesTheShareTextWhole() {
        const QString link = QStringLiteral(
            "http://127.0.0.1:41234/wechat/capacityPmShare.do?value=3200&percent=85&level=2 3");
        const QString text = QStringLiteral("我在用 @Vantoro 测量肺活量,我的肺活量:3200毫升,"
                                            "超越了全球百分之85%的环保卫士! X一起来玩吧~~") +
                             link;
        const QUrl url = DesktopShareTransport::weiboShareUrl(text, link);
        QCOMPARE(url.host(), QStringLiteral("service.weibo.com"));
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        const QUrlQuery query(url);
        QCOMPARE(query.queryItems().size(), 2);
        QCOMPARE(query.queryItemValue(QStringLiteral("title"), QUrl::FullyDecoded), text);
        QCOMPARE(query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded), link);

        const QUrl noLink = DesktopShareTransport::weiboShareUrl(QStringLiteral("t"), QString());
        QCOMPARE(noLink.query(QUrl::FullyEncoded), QStringLiteral("title=t"));
    }

    void qrCodeImageIsASquareWithAQuietZone() {
        const QrCode code = QrCode::encode(
            QStringLiteral("http://127.0.0.1:41234/wechat/getPm25Capacity.do?percent=90&random=2"));
        QVERIFY(!code.isNull());
        // Versions 1 to 40 are 21 to 177 modules wide, in steps of 4.
        QVERIFY(code.width() >= 21 && code.width() <= 177);
        QCOMPARE((code.width() - 17) % 4, 0);
        // Finder pattern in the top-left corner: a dark 7-module ring, a
        // light ring inside, a dark 3 x 3 core, a light separator outside.
        QVERIFY(code.isDark(0, 0) && code.isDark(6, 0) && code.isDark(0, 6));
        QVERIFY(!code.isDark(1, 1) && code.isDark(3, 3) && !code.isDark(7, 0));

        const int module = 3;
        const QImage image = code.toImage(module);
        QCOMPARE(image.width(), image.height());
        QCOMPARE(image.width(), (code.width() + 8) * module);
        int darkInQuietZone = 0;
        for (int i = 0; i < image.width(); ++i)
            for (int q = 0; q < 4 * module; ++q)
                darkInQuietZone += (qGray(image.pixel(i, q)) < 128) +
                                   (qGray(image.pixel(q, i)) < 128) +
                                   (qGray(image.pixel(i, image.height() - 1 - q)) < 128) +
                                   (qGray(image.pixel(image.width() - 1 - q, i)) < 128);
        QCOMPARE(darkInQuietZone, 0);
        // Every module is drawn as its matrix says.
        for (int y = 0; y < code.width(); ++y)
            for (int x = 0; x < code.width(); ++x)
                QCOMPARE(qGray(image.pixel((x + 4) * module + 1, (y + 4) * module + 1)) < 128,
                         code.isDark(x, y));

        QVERIFY(QrCode::encode(QString()).isNull());
        QVERIFY(QrCode::encode(QString(8000, u'x')).isNull());
    }

    void outboxWritesRecordAndImage() {
        QTemporaryDir dir;
        OutboxShareTransport outbox(dir.filePath(QStringLiteral("nested/outbox")));
        SharePost post;
        post.platform = QStringLiteral("wxtimeline");
        post.title = QStringLiteral("Vantoro");
        post.text = QStringLiteral("文字 \"quoted\"\nline");
        post.link = QStringLiteral("http://x/y?a=1&b=2");
        post.imagePng = QByteArray("\x89PNG not really", 15);
        post.time = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10), Qt::UTC);
        QVERIFY(outbox.send(post, nullptr));
        QVERIFY(outbox.send(post, nullptr));
        post.imagePng.clear();
        QVERIFY(outbox.send(post, nullptr));

        const QDir folder(outbox.folder());
        const QStringList records =
            folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        QCOMPARE(records.size(), 3);
        QCOMPARE(folder.entryList({QStringLiteral("*.png")}, QDir::Files).size(), 2);
        // Nothing else: no temporary files left.
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden).size(), 5);
        QCOMPARE(outbox.lastFile(), folder.filePath(records.last()));

        const QJsonObject first = readRecord(folder.filePath(records[0]));
        QCOMPARE(first.value(QStringLiteral("platform")).toString(), post.platform);
        QCOMPARE(first.value(QStringLiteral("title")).toString(), post.title);
        QCOMPARE(first.value(QStringLiteral("text")).toString(), post.text);
        QCOMPARE(first.value(QStringLiteral("link")).toString(), post.link);
        QCOMPARE(first.value(QStringLiteral("time")).toString(),
                 QStringLiteral("2024-05-06T07:08:09.010Z"));
        QFile image(folder.filePath(first.value(QStringLiteral("image")).toString()));
        QVERIFY(image.open(QIODevice::ReadOnly));
        QCOMPARE(image.readAll(), QByteArray("\x89PNG not really", 15));
        // Same millisecond, own files.
        const QJsonObject second = readRecord(folder.filePath(records[1]));
        QVERIFY(second.value(QStringLiteral("image")).toString() !=
                first.value(QStringLiteral("image")).toString());
        QCOMPARE(readRecord(folder.filePath(records[2])).value(QStringLiteral("image")).toString(),
                 QString());
    }

    void outboxThatCannotBeWrittenFails() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        OutboxShareTransport outbox(dir.filePath(QStringLiteral("file/outbox")));
        SharePost post;
        post.platform = QStringLiteral("sina");
        QVERIFY(!outbox.send(post, nullptr));
        QVERIFY(outbox.lastFile().isEmpty());
    }

    void linksThatOnlyThisComputerOpens_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("onlyHere");
        QTest::newRow("embedded server") << "http://127.0.0.1:41234/wechat/x?a=1" << true;
        QTest::newRow("rest of 127/8") << "http://127.1.2.3/" << true;
        QTest::newRow("short IPv4 form") << "http://127.1/" << true;
        QTest::newRow("IPv6 loopback") << "http://[::1]:8080/rank" << true;
        QTest::newRow("IPv6 loopback, long") << "http://[0:0:0:0:0:0:0:1]/" << true;
        QTest::newRow("IPv6 loopback, zone") << "http://[::1%25lo]/" << true;
        QTest::newRow("IPv4-mapped loopback") << "http://[::ffff:127.0.0.1]/" << true;
        QTest::newRow("upper case name") << "https://LOCALHOST:8443/" << true;
        QTest::newRow("name with root dot") << "http://localhost./" << true;
        QTest::newRow("name under localhost") << "http://app.localhost/" << true;
        QTest::newRow("IPv4 unspecified") << "http://0.0.0.0:8080/" << true;
        QTest::newRow("IPv6 unspecified") << "http://[::]:8080/" << true;

        QTest::newRow("public name") << "https://example.com/x" << false;
        QTest::newRow("private 10/8") << "http://10.0.0.2/" << false;
        QTest::newRow("private 192.168/16") << "http://192.168.1.20:8080/" << false;
        QTest::newRow("next to 127/8") << "http://128.0.0.1/" << false;
        QTest::newRow("name starting 127") << "http://127.0.0.1.example.com/" << false;
        QTest::newRow("name starting localhost") << "http://localhost.example.com/" << false;
        QTest::newRow("name ending localhost") << "http://mylocalhost/" << false;
        QTest::newRow("IPv6 public") << "http://[2001:db8::1]/" << false;
        QTest::newRow("IPv6 next to ::1") << "http://[::2]/" << false;
        QTest::newRow("IPv4-mapped private") << "http://[::ffff:10.0.0.2]/" << false;
        QTest::newRow("no host") << "" << false;
    }
    void linksThatOnlyThisComputerOpens() {
        QFETCH(QString, link);
        QFETCH(bool, onlyHere);
        QCOMPARE(ContentLinks::opensOnlyHere(QUrl(link)), onlyHere);
    }

    void wechatShowsTheLinkAsACodeOverTheWindow() {
        QWidget window;
        window.setFixedSize(320, 568);
        KeyWindow::makeKeyAndVisible(&window);
        DesktopShareTransport desktop;
        SharePost post;
        post.platform = QStringLiteral("wxsession");
        post.text = QStringLiteral("分享的文字");
        post.link = QStringLiteral("http://content.example/rank");
        QVERIFY(desktop.send(post, nullptr));

        ShareQrPanel* panel = ShareQrPanel::current();
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), &window);
        QCOMPARE(panel->geometry(), window.rect());
        QCOMPARE(panel->note(), QStringLiteral("请用微信扫一扫，文字已复制"));
        QCOMPARE(panel->heading(), QStringLiteral("微信好友"));
        QCOMPARE(panel->qrImage(), QrCode::encode(post.link).toImage(4));
        QCOMPARE(QGuiApplication::clipboard()->text(), post.text);

        QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!ShareQrPanel::current());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestShareTransports)
#include "tst_sharetransports.moc"
