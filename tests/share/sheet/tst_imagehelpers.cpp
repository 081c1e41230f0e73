#include "platform/system/bundle.h"
#include "share/sheet/imagehelpers.h"

#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// A bundle of its own: "probe" is 41 x 30 points as a double-resolution file,
// "single" the same size as a plain file. Each has a 4-point coloured square
// in every corner on white, so a drawing tells corners kept from corners
// stretched. "lit" is plain green.
class TestImageHelpers : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_bundle;

    static QImage probe(int scale) {
        QImage image(41 * scale, 30 * scale, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const int s = 4 * scale;
        painter.fillRect(0, 0, s, s, Qt::red);
        painter.fillRect(image.width() - s, 0, s, s, Qt::blue);
        painter.fillRect(0, image.height() - s, s, s, Qt::yellow);
        painter.fillRect(image.width() - s, image.height() - s, s, s, Qt::magenta);
        return image;
    }

    static QColor at(const QImage& image, double xPoints, double yPoints, double scale) {
        return image.pixelColor(int(xPoints * scale), int(yPoints * scale));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_bundle.isValid());
        QDir(m_bundle.path()).mkpath(QStringLiteral("images"));
        QVERIFY(probe(2).save(m_bundle.filePath(QStringLiteral("images/probe@2x.png"))));
        QVERIFY(probe(1).save(m_bundle.filePath(QStringLiteral("images/single.png"))));
        QImage lit(82, 60, QImage::Format_ARGB32);
        lit.fill(Qt::green);
        QVERIFY(lit.save(m_bundle.filePath(QStringLiteral("images/lit@2x.png"))));
        Bundle::setResourcePath(m_bundle.path());
    }

    void caps_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");
        QTest::addColumn<int>("leftCap");
        QTest::addColumn<int>("topCap");
        // 0.5 x 41 = 20.5 and 0.5 x 30 = 15: truncated, in points whatever
        // the file's resolution.
        QTest::newRow("halves, double resolution") << "probe" << 0.5 << 0.5 << 20 << 15;
        QTest::newRow("halves, single resolution") << "single" << 0.5 << 0.5 << 20 << 15;
        QTest::newRow("other fractions") << "probe" << 0.3 << 0.99 << 12 << 29;
        QTest::newRow("plain") << "probe" << 0.0 << 0.0 << 0 << 0;
    }

    void caps() {
        QFETCH(QString, name);
        QFETCH(double, left);
        QFETCH(double, top);
        QFETCH(int, leftCap);
        QFETCH(int, topCap);
        const StretchableImage image = ImageHelpers::resizedImageWithName(name, left, top);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSizeF(41, 30));
        QCOMPARE(image.leftCapWidth(), leftCap);
        QCOMPARE(image.topCapHeight(), topCap);
    }

    void defaultFractionsAreHalves() {
        const StretchableImage image = ImageHelpers::resizedImageWithName(QStringLiteral("probe"));
        QCOMPARE(image.leftCapWidth(), 20);
        QCOMPARE(image.topCapHeight(), 15);
        // Everything but the one stretched column and row keeps its size.
        QCOMPARE(image.capMargins(), QMargins(20, 15, 20, 14));
    }

    void missingNameIsNull() {
        const StretchableImage image = ImageHelpers::resizedImageWithName(QStringLiteral("nope"));
        QVERIFY(image.isNull());
        QVERIFY(image.borderImageDeclaration().isEmpty());
        QVERIFY(ImageHelpers::buttonStyleSheet(image, image).isEmpty());
    }

    void stretchesFromTheCapsOnly() {
        const StretchableImage image = ImageHelpers::resizedImageWithName(QStringLiteral("probe"));
        const QImage drawn = image.toPixmap(QSizeF(200, 50), 2).toImage();
        QCOMPARE(drawn.size(), QSize(400, 100));
        // The corner squares keep their 4 points ...
        QCOMPARE(at(drawn, 1, 1, 2), QColor(Qt::red));
        QCOMPARE(at(drawn, 198, 1, 2), QColor(Qt::blue));
        QCOMPARE(at(drawn, 1, 48, 2), QColor(Qt::yellow));
        QCOMPARE(at(drawn, 198, 48, 2), QColor(Qt::magenta));
        QCOMPARE(at(drawn, 6, 6, 2), QColor(Qt::white));
        QCOMPARE(at(drawn, 193, 43, 2), QColor(Qt::white));
        // ... where a plain stretch scales them with the image.
        const QImage plain = ImageHelpers::plainImageWithName(QStringLiteral("probe"))
                                 .toPixmap(QSizeF(200, 50), 2)
                                 .toImage();
        QCOMPARE(at(plain, 15, 5, 2), QColor(Qt::red));
        QCOMPARE(at(plain, 185, 45, 2), QColor(Qt::magenta));
    }

    void buttonStyleSheetDrawsLikeThePainter() {
        const StretchableImage image = ImageHelpers::resizedImageWithName(QStringLiteral("probe"));
        QPushButton button;
        button.setStyleSheet(ImageHelpers::buttonStyleSheet(image, image));
        button.setFixedSize(200, 50);
        const QImage shown = button.grab().toImage();
        const double scale = shown.devicePixelRatio();
        QCOMPARE(at(shown, 1, 1, scale), QColor(Qt::red));
        QCOMPARE(at(shown, 198, 48, scale), QColor(Qt::magenta));
        QCOMPARE(at(shown, 6, 6, scale), QColor(Qt::white));
        QCOMPARE(at(shown, 193, 43, scale), QColor(Qt::white));
    }

    void titleIsNotClippedByTheCaps() {
        // A button as high as its background: the caps leave 1 point
        // between them, the title needs the whole height.
        QPushButton button(QStringLiteral("分享"));
        const StretchableImage image = ImageHelpers::resizedImageWithName(QStringLiteral("probe"));
        button.setStyleSheet(ImageHelpers::buttonStyleSheet(image, image) +
                             QStringLiteral("QPushButton { color: black; font-size: 14px; }"));
        button.setFixedSize(93, 30);
        const QImage shown = button.grab().toImage();
        const double scale = shown.devicePixelRatio();
        int dark = 0;
        for (int y = int(8 * scale); y < int(22 * scale); ++y)
            for (int x = int(30 * scale); x < int(63 * scale); ++x)
                dark += qGray(shown.pixel(x, y)) < 100;
        QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
        // The rows above and below the caps' one-point gap hold title pixels.
        int outsideGap = 0;
        for (int y = int(8 * scale); y < int(14 * scale); ++y)
            for (int x = int(30 * scale); x < int(63 * scale); ++x)
                outsideGap += qGray(shown.pixel(x, y)) < 100;
        QVERIFY2(outsideGap > 5, qPrintable(QString::number(outsideGap)));
    }

    void pressedButtonShowsTheHighlightedImage() {
        QPushButton button;
        button.setStyleSheet(ImageHelpers::buttonStyleSheet(
            ImageHelpers::resizedImageWithName(QStringLiteral("probe")),
            ImageHelpers::resizedImageWithName(QStringLiteral("lit"))));
        button.setFixedSize(120, 40);
        const QImage normal = button.grab().toImage();
        button.setDown(true);
        const QImage pressed = button.grab().toImage();
        const double scale = normal.devicePixelRatio();
        QCOMPARE(at(normal, 60, 20, scale), QColor(Qt::white));
        QCOMPARE(at(pressed, 60, 20, scale), QColor(Qt::green));
    }

    void transformToSizeIgnoresAspect() {
        const QImage source = probe(2);
        const QImage result = ImageHelpers::TransformtoSize(source, QSizeF(100, 20));
        QCOMPARE(result.size(), QSize(100, 20));
        QCOMPARE(result.devicePixelRatio(), 1.0);
        // The whole source lands in the rectangle: each corner colour in its
        // corner, the corners stretched 100/41 wide and 20/30 high.
        QCOMPARE(result.pixelColor(2, 1), QColor(Qt::red));
        QCOMPARE(result.pixelColor(97, 1), QColor(Qt::blue));
        QCOMPARE(result.pixelColor(2, 18), QColor(Qt::yellow));
        QCOMPARE(result.pixelColor(97, 18), QColor(Qt::magenta));
        QCOMPARE(result.pixelColor(50, 10), QColor(Qt::white));
        QVERIFY(ImageHelpers::TransformtoSize(QImage(), QSizeF(10, 10)).isNull());
        QVERIFY(ImageHelpers::TransformtoSize(source, QSizeF(0, 10)).isNull());
    }
};

QTEST_MAIN(TestImageHelpers)
#include "tst_imagehelpers.moc"
