#include "app/appicon.h"
#include "platform/system/bundle.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestAppIcon : public QObject {
    Q_OBJECT

    static void writePng(const QString& path, int side) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(path));
    }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private slots:
    // Only <N>x<N>/apps/<name>.png counts; a damaged file is passed over
    // with a warning instead of leaving the window without any icon.
    void takesEverySizeFolderOfItsOwnName() {
        QTemporaryDir dir;
        const QString hicolor = dir.path() + QStringLiteral("/hicolor/");
        writePng(hicolor + QStringLiteral("16x16/apps/app.test.png"), 16);
        writePng(hicolor + QStringLiteral("48x48/apps/app.test.png"), 48);
        writePng(hicolor + QStringLiteral("24x24/apps/other.png"), 24);
        writePng(hicolor + QStringLiteral("64x32/apps/app.test.png"), 64);
        writePng(hicolor + QStringLiteral("scalable/apps/app.test.png"), 128);
        writeFile(hicolor + QStringLiteral("32x32/apps/app.test.png"), "not a picture");

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("cannot read the icon .*32x32")));
        const QIcon icon = AppIcon::fromFolder(dir.path(), QStringLiteral("app.test"));
        QList<QSize> sizes = icon.availableSizes();
        std::sort(sizes.begin(), sizes.end(),
                  [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
        QCOMPARE(sizes, (QList<QSize>{QSize(16, 16), QSize(48, 48)}));
        QCOMPARE(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
    }

    void nothingWithoutIcons() {
        QTemporaryDir dir;
        QVERIFY(AppIcon::fromFolder(dir.path(), QStringLiteral("app.test")).isNull());
        QVERIFY(
            AppIcon::fromFolder(dir.path() + QStringLiteral("/missing"), QStringLiteral("app.test"))
                .isNull());
    }

    // The build renders the icons under the name the application asks for,
    // beside its bundle, so the window has its icon without being installed.
    void buildTreeHasEveryRenderedSize() {
        const QString icons = Bundle::resourcePath() + QStringLiteral("/../icons");
        const QIcon icon = AppIcon::fromFolder(icons, Bundle::bundleIdentifier());
        const QList<QSize> sizes = icon.availableSizes();
        for (int side : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
        QVERIFY(!AppIcon::load().isNull());
    }
};

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
