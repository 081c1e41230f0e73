#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/photoalbum.h"
#include "share/blewcommonutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The share screenshot at the phone's scale, whatever the ratio the window
// itself is drawn at (QT_SCALE_FACTOR, 2 unless the test is registered with
// another): the bitmap is cut to 2W x 2H pixels, so scale 2 keeps the whole
// window, scale 3 its top-left part and scale 1 the whole (smaller) bitmap.
class TestBlewCommonUtil : public QObject {
    Q_OBJECT
private:
    static constexpr int W = 320;
    static constexpr int H = 568;

    // The same executable runs at several scales at once: each run keeps
    // its screenshot file in a home of its own.
    QTemporaryDir m_home;
    QTemporaryDir m_album;
    QString m_albumFolder;
    QWidget* m_window = nullptr;
    QWidget* m_bar = nullptr;

    static QWidget* block(QWidget* parent, QRect frame, QColor color) {
        auto* widget = new QWidget(parent);
        widget->setGeometry(frame);
        widget->setAutoFillBackground(true);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, color);
        widget->setPalette(palette);
        return widget;
    }

    static QImage decode(const QByteArray& png) { return QImage::fromData(png, "PNG"); }

    static QStringList albumFiles(const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_album.isValid());
        QFile::remove(BlewCommonUtil::screenShowPath());

        m_window = new QWidget;
        m_window->setFixedSize(W, H);
        block(m_window, {0, 0, W, H}, QColor(0x20, 0x60, 0xa0));
        block(m_window, {0, 0, 10, 10}, Qt::red);
        // The tab bar, lying over the bottom of the screen.
        m_bar = block(m_window, {0, H - 49, W, 49}, QColor(0x10, 0xc0, 0x40));
        block(m_window, {W - 10, H - 10, 10, 10}, Qt::yellow);
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    // Each test its own album folder: copies still being written for an
    // earlier test land in that test's folder.
    void init() {
        static int n = 0;
        m_albumFolder = m_album.filePath(QString::number(++n));
        PhotoAlbum::setFolder(m_albumFolder);
    }

    void cleanupTestCase() {
        delete m_window;
        PhotoAlbum::setFolder(QString());
    }

    void screenshotIsCutToTwiceThePointSize_data() {
        QTest::addColumn<double>("phoneScale");
        QTest::newRow("phone at scale 1") << 1.0;
        QTest::newRow("phone at scale 2") << 2.0;
        QTest::newRow("phone at scale 3") << 3.0;
    }
    void screenshotIsCutToTwiceThePointSize() {
        QFETCH(double, phoneScale);
        QVERIFY(qAbs(m_window->devicePixelRatioF() -
                     qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()) < 0.001);
        MainScreen::set(QSizeF(W, H), phoneScale);
        const QImage shot = decode(BlewCommonUtil().getScreenShotDataWith(QSizeF(W, H)));
        MainScreen::set(QSizeF(W, H), 2);
        QVERIFY(!shot.isNull());
        // The phone's pixels, whatever the window's own ratio.
        const QSize expected(std::min(2 * W, int(phoneScale * W)),
                             std::min(2 * H, int(phoneScale * H)));
        QCOMPARE(shot.size(), expected);
        QVERIFY(!shot.hasAlphaChannel());

        QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::red));
        const QColor bottomRight = shot.pixelColor(shot.width() - 2, shot.height() - 2);
        if (phoneScale <= 2) {
            // The whole window, tab bar included.
            QCOMPARE(bottomRight, QColor(Qt::yellow));
            QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() - int(20 * phoneScale)),
                     QColor(0x10, 0xc0, 0x40));
        } else {
            // The top-left 2W x 2H pixels: two thirds of the window each way,
            // above the tab bar.
            QCOMPARE(bottomRight, QColor(0x20, 0x60, 0xa0));
        }
    }

    void albumGetsACopy() {
        const QImage shot = decode(BlewCommonUtil().getScreenShotDataWith(QSizeF(W, H)));
        QTRY_COMPARE(albumFiles(m_albumFolder).size(), 1);
        const QString newest = m_albumFolder + u'/' + albumFiles(m_albumFolder).constFirst();
        QTRY_VERIFY(!QImage(newest).isNull());
        QCOMPARE(QImage(newest).convertToFormat(QImage::Format_RGB32),
                 shot.convertToFormat(QImage::Format_RGB32));
    }

    void twoSavesInTheSameInstantKeepBoth() {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::white);
        PhotoAlbum::saveImage(image);
        PhotoAlbum::saveImage(image);
        PhotoAlbum::saveImage(image);
        QTRY_COMPARE(albumFiles(m_albumFolder).size(), 3);
        QTest::qWait(50);
        QCOMPARE(albumFiles(m_albumFolder).size(), 3);
        // Nothing half-written or temporary is left behind.
        QCOMPARE(QDir(m_albumFolder).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void imageIsReloadedFromTheFile() {
        QFile::remove(BlewCommonUtil::screenShowPath());
        const QImage first = BlewCommonUtil().getScreenShotImgWith(QSizeF(W, H));
        QVERIFY(QFile::exists(BlewCommonUtil::screenShowPath()));
        QCOMPARE(first.convertToFormat(QImage::Format_RGB32),
                 QImage(BlewCommonUtil::screenShowPath()).convertToFormat(QImage::Format_RGB32));
        QCOMPARE(first.pixelColor(1, 1), QColor(Qt::red));

        // A second screenshot overwrites the file.
        QWidget* marker = block(m_window, {0, 0, 10, 10}, Qt::white);
        marker->show();
        const QImage second = BlewCommonUtil().getScreenShotImgWith(QSizeF(W, H));
        QCOMPARE(second.pixelColor(1, 1), QColor(Qt::white));
        QCOMPARE(BlewCommonUtil::readScreenShow().pixelColor(1, 1), QColor(Qt::white));
        delete marker;
    }

    void withoutAWindowTheFileKeepsTheLastScreenshot() {
        // The last screenshot, taken while there was a window.
        BlewCommonUtil().getScreenShotImgWith(QSizeF(W, H));
        const QImage last = BlewCommonUtil::readScreenShow();
        QVERIFY(!last.isNull());
        KeyWindow::makeKeyAndVisible(new QWidget);
        QWidget* stand = KeyWindow::keyWindow();
        delete stand;
        QVERIFY(!KeyWindow::keyWindow());
        QVERIFY(BlewCommonUtil().getScreenShotDataWith(QSizeF(W, H)).isEmpty());
        QCOMPARE(BlewCommonUtil().getScreenShotImgWith(QSizeF(W, H)), last);
        KeyWindow::makeKeyAndVisible(m_window);

        QFile::remove(BlewCommonUtil::screenShowPath());
        KeyWindow::makeKeyAndVisible(new QWidget);
        delete KeyWindow::keyWindow();
        QVERIFY(BlewCommonUtil().getScreenShotImgWith(QSizeF(W, H)).isNull());
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(!BlewCommonUtil().loadWordsFromServer().isValid());
    }
};

int main(int argc, char** argv) {
    // The application's default screen.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    // The runs at each scale may go in parallel: each keeps its own
    // documents folder and so its own "screenShow.png".
    QCoreApplication::setApplicationName(QStringLiteral("tst_blewcommonutil_scale") +
                                         qEnvironmentVariable("QT_SCALE_FACTOR"));
    TestBlewCommonUtil test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blewcommonutil.moc"
