#include "platform/uikit/keywindow.h"
#include "platform/uikit/viewanimation.h"
#include "support/fakemaintimer.h"
#include "support/installed.h"
#include "ui/toast.h"
#include "ui/toastgeometry.h"
#include "ui/toastsettings.h"
#include "ui/toastview.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>
#include <QtTest>
#include <memory>
#include <optional>

class TestToast : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void offlineWarningIsCentredAndFadesOutAfterItsDuration();
    void topGravityCentresTheBox45PointsBelowTheTop();
    void longTextIsMeasuredWithinTheLimit();
    void secondToastRemovesTheFirst();
    void touchHidesBeforeTheDuration();
    void boxIsDrawnTranslucent();
    void toastSettingsAreACopyOfTheShared();
    void settingsCopyKeepsIconsAndTheirLocation();
    void iconLayout();
    void centerForEveryOrientation_data();
    void centerForEveryOrientation();
    void rotationAndWholePointFrame();

private:
    QList<ToastView*> boxes() const {
        return m_window->findChildren<ToastView*>(Qt::FindDirectChildrenOnly);
    }

    FakeMainTimer m_timer;
    std::optional<Installed<MainTimer>> m_installedTimer;
    std::unique_ptr<QWidget> m_window;
};

void TestToast::init() {
    m_installedTimer.emplace(&m_timer);
    m_window = std::make_unique<QWidget>();
    m_window->resize(320, 568);
    KeyWindow::makeKeyAndVisible(m_window.get());
}

void TestToast::cleanup() {
    m_window.reset();
    // Blocks still pending hold their toasts; drop them with the timer.
    m_timer.advance(10000);
    m_installedTimer.reset();
}

void TestToast::offlineWarningIsCentredAndFadesOutAfterItsDuration() {
    auto toast = Toast::makeText(QStringLiteral("网络不可用"));
    toast->setDuration(3000)->setGravity(ToastSettings::kGravityCenter)->show();

    QCOMPARE(boxes().size(), 1);
    QPointer<ToastView> box = boxes().first();
    QCOMPARE(toast->view(), box.data());
    QCOMPARE(box->text(), QStringLiteral("网络不可用"));

    QFont font = QApplication::font();
    font.setPixelSize(16);
    const QSizeF text =
        QFontMetricsF(font)
            .boundingRect(QRectF(0, 0, 280, 60), Qt::TextWordWrap, QStringLiteral("网络不可用"))
            .size();
    QVERIFY(text.width() > 40);
    const QRect frame = box->geometry();
    QCOMPARE(frame, ToastGeometry::frameAround({160, 284}, text + QSizeF(10, 10)));
    QVERIFY(qAbs(QRectF(frame).center().x() - 160) <= 0.5);
    QVERIFY(qAbs(QRectF(frame).center().y() - 284) <= 0.5);

    QCOMPARE(box->font().pixelSize(), 16);
    QVERIFY(box->useShadow());
    QCOMPARE(box->cornerRadius(), 5.0);
    const QColor bg = box->backgroundColor();
    QCOMPARE(bg.rgb() & 0xffffff, 0u);
    QVERIFY(qAbs(bg.alphaF() - 0.7) < 0.01);
    QCOMPARE(box->tag(), 6984678);

    // It fades in from transparent.
    QVERIFY(ViewAnimation::isAnimating(box, "alpha"));
    QTRY_COMPARE_WITH_TIMEOUT(box->alpha(), 1.0, 2000);

    m_timer.advance(2.99);
    QVERIFY(!box->testAttribute(Qt::WA_TransparentForMouseEvents));
    m_timer.advance(0.02);
    QVERIFY(box->testAttribute(Qt::WA_TransparentForMouseEvents));
    QVERIFY(ViewAnimation::isAnimating(box, "alpha"));
    QTRY_COMPARE_WITH_TIMEOUT(box->alpha(), 0.0, 2000);
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), m_window.get());

    m_timer.advance(0.5);
    QVERIFY(boxes().isEmpty());
    QTRY_VERIFY(box.isNull());
    QCOMPARE(toast->view(), nullptr);
}

void TestToast::topGravityCentresTheBox45PointsBelowTheTop() {
    for (const QString& text :
         {QStringLiteral("短"), QStringLiteral("一行又一行的文字，一行又一行的"
                                               "文字，一行又一行的文字")}) {
        auto toast = Toast::makeText(text);
        toast->setGravity(ToastSettings::kGravityTop)->show();
        const QRectF frame = boxes().first()->geometry();
        QVERIFY2(qAbs(frame.center().y() - 45) <= 0.5, qPrintable(text));
        QVERIFY(qAbs(frame.center().x() - 160) <= 0.5);
    }
    // The offsets move the centre down and right.
    auto toast = Toast::makeText(QStringLiteral("偏移"));
    toast->setGravity(ToastSettings::kGravityTop, 10, 20)->show();
    const QRectF frame = boxes().first()->geometry();
    QVERIFY(qAbs(frame.center().x() - 170) <= 0.5);
    QVERIFY(qAbs(frame.center().y() - 65) <= 0.5);
    QCOMPARE(boxes().size(), 1);
}

void TestToast::longTextIsMeasuredWithinTheLimit() {
    auto toast =
        Toast::makeText(QString(400, QChar(0x7a7a)) + QStringLiteral(" words ").repeated(50));
    toast->show();
    const QRect frame = boxes().first()->geometry();
    QVERIFY2(frame.width() <= 291 && frame.height() <= 71,
             qPrintable(QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height())));
    QVERIFY(frame.width() >= 280 && frame.height() >= 60);

    auto empty = Toast::makeText(QString());
    empty->show();
    QVERIFY(boxes().first()->geometry().width() <= 11);
}

void TestToast::secondToastRemovesTheFirst() {
    auto first = Toast::makeText(QStringLiteral("第一"));
    first->setDuration(1000)->show();
    QPointer<ToastView> firstBox = first->view();
    auto second = Toast::makeText(QStringLiteral("第二"));
    second->setDuration(3000)->show();

    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes().first(), second->view());
    QVERIFY(!firstBox || firstBox->parentWidget() == nullptr);
    QTRY_VERIFY(firstBox.isNull());

    // The first toast's own timers must leave the second box alone.
    m_timer.advance(1.6);
    QCOMPARE(boxes().size(), 1);
    QVERIFY(!second->view()->testAttribute(Qt::WA_TransparentForMouseEvents));
    m_timer.advance(2.0);
    QVERIFY(boxes().isEmpty());
}

void TestToast::touchHidesBeforeTheDuration() {
    auto toast = Toast::makeText(QStringLiteral("点我"));
    toast->setDuration(3000)->show();
    QPointer<ToastView> box = toast->view();
    QTest::mousePress(box, Qt::LeftButton, {}, box->rect().center());
    QVERIFY(box->testAttribute(Qt::WA_TransparentForMouseEvents));
    QTRY_COMPARE_WITH_TIMEOUT(box->alpha(), 0.0, 2000);
    m_timer.advance(0.5);
    QVERIFY(boxes().isEmpty());

    // The duration's own timer later finds nothing left to hide.
    m_timer.advance(3.0);
    QVERIFY(boxes().isEmpty());
    QCOMPARE(m_timer.pending(), 0);
}

void TestToast::boxIsDrawnTranslucent() {
    auto toast = Toast::makeText(QStringLiteral("网络不可用"));
    toast->show();
    ToastView* box = toast->view();
    ViewAnimation::cancel(box, "alpha");
    box->setAlpha(1.0);
    QImage image(box->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        box->render(&painter, {}, {}, QWidget::DrawChildren);
    }
    // Inside the rounded corner the black box is 70% opaque; the very
    // corner is left clear.
    const QColor inside = image.pixelColor(2, box->height() / 2);
    QVERIFY2(qAbs(inside.alpha() - 178) <= 3, qPrintable(QString::number(inside.alpha())));
    QVERIFY(image.pixelColor(0, 0).alpha() < 100);
    // Some text pixels are white.
    bool white = false;
    for (int y = 0; y < image.height() && !white; ++y)
        for (int x = 0; x < image.width() && !white; ++x)
            white = qGray(image.pixel(x, y)) > 200 && qAlpha(image.pixel(x, y)) > 200;
    QVERIFY(white);
}

void TestToast::toastSettingsAreACopyOfTheShared() {
    ToastSettings& shared = ToastSettings::getSharedSettings();
    QCOMPARE(shared.duration(), 1000);
    QCOMPARE(shared.gravity(), 1000003);
    QCOMPARE(shared.fontSize(), 16.0f);
    QCOMPARE(shared.bgAlpha(), 0.7f);

    auto toast = Toast::makeText(QStringLiteral("x"));
    toast->setDuration(5000);
    QCOMPARE(toast->theSettings().duration(), 5000);
    QCOMPARE(shared.duration(), 1000);

    // Later changes of the shared settings do not reach the copy.
    shared.setFontSize(30);
    QCOMPARE(toast->theSettings().fontSize(), 16.0f);
    shared.setFontSize(16);

    // A toast without its own settings follows the shared ones.
    shared.setDuration(2000);
    auto plain = Toast::makeText(QStringLiteral("y"));
    plain->show();
    m_timer.advance(1.5);
    QVERIFY(!plain->view()->testAttribute(Qt::WA_TransparentForMouseEvents));
    m_timer.advance(0.6);
    QVERIFY(plain->view()->testAttribute(Qt::WA_TransparentForMouseEvents));
    shared.setDuration(1000);
}

void TestToast::settingsCopyKeepsIconsAndTheirLocation() {
    QPixmap icon(12, 8);
    icon.fill(Qt::red);
    ToastSettings settings;
    settings.setImage(icon, ToastSettings::kTypePlain);
    QVERIFY(settings.images().isEmpty());
    QCOMPARE(settings.imageLocation(), 0);

    settings.setImage(icon, ToastSettings::kImageLocationTop, 3);
    settings.setImage(QPixmap(), ToastSettings::kImageLocationTop, 4);
    QCOMPARE(settings.images().keys(), QStringList{QStringLiteral("3")});

    const ToastSettings copy(settings);
    QCOMPARE(copy.imageForType(3).size(), QSize(12, 8));
    QCOMPARE(copy.imageLocation(), ToastSettings::kImageLocationTop);
}

void TestToast::iconLayout() {
    const QSizeF text(100, 20);
    const QSizeF icon(30, 30);

    const auto plain = ToastGeometry::layout(text, QSizeF(), 0);
    QCOMPARE(plain.box, QRectF(0, 0, 110, 30));
    QCOMPARE(plain.label, QRectF(3, 3, 105, 25));
    QVERIFY(plain.icon.isEmpty());

    const auto above = ToastGeometry::layout(text, icon, ToastSettings::kImageLocationTop);
    QCOMPARE(above.box, QRectF(0, 0, 110, 65));
    QCOMPARE(above.label, QRectF(3, 40, 105, 25));
    QCOMPARE(above.icon, QRectF(40, 5, 30, 30));
    QCOMPARE(above.textAlignment, Qt::AlignCenter);

    const auto left = ToastGeometry::layout(text, icon, ToastSettings::kImageLocationLeft);
    QCOMPARE(left.box, QRectF(0, 0, 145, 40));
    QCOMPARE(left.label, QRectF(40, 8, 105, 25));
    QCOMPARE(left.icon, QRectF(5, 5, 30, 30));
    QVERIFY(left.textAlignment & Qt::AlignLeft);

    QCOMPARE(ToastGeometry::layout(text, icon, 7).box, QRectF());

    // The icon's type picks it; the plain type shows none.
    QPixmap pixmap(30, 30);
    pixmap.fill(Qt::green);
    ToastSettings::getSharedSettings().setImage(pixmap, ToastSettings::kImageLocationTop, 5);
    auto withIcon = Toast::makeText(QStringLiteral("图标"));
    withIcon->show(5);
    QCOMPARE(withIcon->view()->iconRect().size(), QSizeF(30, 30));
    auto withoutIcon = Toast::makeText(QStringLiteral("图标"));
    withoutIcon->show(6);
    QVERIFY(withoutIcon->view()->icon().isNull());
    QVERIFY(withoutIcon->view()->height() < withIcon->view()->height());
    ToastSettings::getSharedSettings().setImageLocation(0);
}

void TestToast::centerForEveryOrientation_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("gravity");
    QTest::addColumn<QPointF>("expected");
    const int top = ToastSettings::kGravityTop;
    const int bottom = ToastSettings::kGravityBottom;
    const int centre = ToastSettings::kGravityCenter;
    const int other = 5;
    // Window 320 x 568, offsets left 10 and top 20, position (7, 9).
    QTest::newRow("portrait top") << 1 << top << QPointF(170, 65);
    QTest::newRow("portrait bottom") << 1 << bottom << QPointF(170, 543);
    QTest::newRow("portrait centre") << 1 << centre << QPointF(170, 304);
    QTest::newRow("portrait position") << 1 << other << QPointF(17, 29);
    QTest::newRow("upside down top") << 2 << top << QPointF(150, 503);
    QTest::newRow("upside down bottom") << 2 << bottom << QPointF(150, 25);
    QTest::newRow("upside down centre") << 2 << centre << QPointF(150, 264);
    QTest::newRow("upside down position") << 2 << other << QPointF(-3, -11);
    QTest::newRow("home right top") << 3 << top << QPointF(255, 274);
    QTest::newRow("home right bottom") << 3 << bottom << QPointF(25, 274);
    QTest::newRow("home right centre") << 3 << centre << QPointF(140, 274);
    QTest::newRow("home right position") << 3 << other << QPointF(-13, -1);
    QTest::newRow("home left top") << 4 << top << QPointF(65, 294);
    QTest::newRow("home left bottom") << 4 << bottom << QPointF(295, 294);
    QTest::newRow("home left centre") << 4 << centre << QPointF(180, 294);
    QTest::newRow("home left position") << 4 << other << QPointF(27, 19);
    QTest::newRow("unknown orientation") << 0 << centre << QPointF(0, 0);
}

void TestToast::centerForEveryOrientation() {
    QFETCH(int, orientation);
    QFETCH(int, gravity);
    QFETCH(QPointF, expected);
    QCOMPARE(ToastGeometry::center(orientation, gravity, {320, 568}, {7, 9}, 10, 20), expected);
}

void TestToast::rotationAndWholePointFrame() {
    QCOMPARE(ToastGeometry::rotation(1), 0.0);
    QCOMPARE(ToastGeometry::rotation(2), M_PI);
    QCOMPARE(ToastGeometry::rotation(3), M_PI / 2);
    QCOMPARE(ToastGeometry::rotation(4), -M_PI / 2);
    QCOMPARE(ToastGeometry::frameAround({160.5, 45}, {50.5, 20}), QRect(135, 35, 51, 20));
    QCOMPARE(ToastGeometry::frameAround({160, 284}, {80, 30}), QRect(120, 269, 80, 30));
}

QTEST_MAIN(TestToast)
#include "tst_toast.moc"
