#include "e2e/launchedapp.h"
#include "platform/uikit/mainscreen.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/lungtest/qmxrotateview.h"
#include "share/blewcommonutil.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace {

constexpr const char* kChildVariable = "VANTORO_WINDOW_FIT_CHILD";

// A virtual screen of its own size, on a display of its own.
class VirtualScreen {
public:
    explicit VirtualScreen(QSize size) {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (m_server.waitForReadyRead(10000))
            m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~VirtualScreen() {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QString display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

// What X says of a window: its place and size in device pixels.
QRect geometryOf(WId window) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                              QStringLiteral("--shell"), QString::number(window)});
    xdotool.waitForFinished(10000);
    QHash<QString, int> values;
    for (const QByteArray& line : xdotool.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split('=');
        if (parts.size() == 2)
            values.insert(QString::fromLatin1(parts[0]), parts[1].toInt());
    }
    return {values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT")};
}

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

// The application's window on screens of several sizes and scales, as a
// player meets it: each screen is a virtual display of its own, and the
// application runs on it in a child process. The window lies inside the
// screen with the phone's shape, a real click on the start button (found
// from the button's own geometry) starts a replayed blow, a zoom step keeps
// the shape, and a share screenshot has the phone's pixels at every size.
class TestWindowFit : public QObject {
    Q_OBJECT

    static bool isChild() { return qEnvironmentVariableIsSet(kChildVariable); }

private slots:
    void fitsTheScreen_data() {
        QTest::addColumn<QSize>("screen");
        // A desktop's own scale, as a variable of its environment.
        QTest::addColumn<QString>("desktopScale");
        QTest::addColumn<bool>("phoneSize");
        QTest::newRow("1366x768") << QSize(1366, 768) << QString() << false;
        QTest::newRow("1366x768, player's scale 1.5")
            << QSize(1366, 768) << QStringLiteral("QT_SCALE_FACTOR=1.5") << false;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << QString() << false;
        QTest::newRow("3840x2160 at scale 2")
            << QSize(3840, 2160) << QStringLiteral("QT_SCREEN_SCALE_FACTORS=2") << true;
        QTest::newRow("2560x1440") << QSize(2560, 1440) << QString() << true;
    }
    void fitsTheScreen() {
        if (isChild())
            QSKIP("the child runs the application only");
        QFETCH(QSize, screen);
        QFETCH(QString, desktopScale);
        QFETCH(bool, phoneSize);
        VirtualScreen display(screen);
        QVERIFY2(!display.display().isEmpty(), "Xvfb did not start");
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable,
                   QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()));
        env.insert(QStringLiteral("VANTORO_EXPECT_PHONE_SIZE"), phoneSize ? "1" : "0");
        env.insert(QStringLiteral("DISPLAY"), display.display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath("data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath("cache"));
        if (!desktopScale.isEmpty())
            env.insert(desktopScale.section(u'=', 0, 0), desktopScale.section(u'=', 1));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("playOnThisScreen")});
        QVERIFY(child.waitForFinished(90000));
        const QByteArray output = child.readAll();
        const QByteArray sizes = QRegularExpression(QStringLiteral("QDEBUG.*(window .*)"))
                                     .match(QString::fromUtf8(output))
                                     .captured(1)
                                     .toUtf8();
        qInfo("%s: %s", QTest::currentDataTag(), sizes.constData());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
    }

    // In the child, on the screen its parent made.
    void playOnThisScreen() {
        if (!isChild())
            QSKIP("run by fitsTheScreen on a screen of its own");
        const QStringList size = qEnvironmentVariable(kChildVariable).split(u'x');
        const QRect screen(0, 0, size.value(0).toInt(), size.value(1).toInt());
        LaunchedApp app;
        QString error;
        QVERIFY2(app.launchReplaying("0 -50\n0.3 -1.5\n1.5 -3\n2.5 -45\n", &error),
                 qPrintable(error));
        QWidget* window = app.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        // Inside the screen, with the phone's shape.
        QRect placed;
        QTRY_VERIFY((placed = geometryOf(window->winId())).isValid());
        QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                         .arg(placed.x())
                                                         .arg(placed.y())
                                                         .arg(placed.width())
                                                         .arg(placed.height())));
        QVERIFY(qAbs(placed.width() * 568.0 / 320.0 - placed.height()) <= 2);
        if (qEnvironmentVariable("VANTORO_EXPECT_PHONE_SIZE") == QLatin1String("1"))
            QCOMPARE(placed.size(), QSize(640, 1136));

        // The start button where it is drawn: its own rectangle in the
        // window, at the window's pixels per point.
        auto* lungTest = app.screen<BlewTestViewController>(0);
        QPushButton* start = lungTest->startBlewBtn();
        const QPointF inWindow = start->mapTo(window, start->rect().center());
        const QPoint click = placed.topLeft() + (inWindow * window->devicePixelRatioF()).toPoint();
        QVERIFY(screen.contains(click));
        QVERIFY(xdotool({"mousemove", "--sync", QString::number(click.x()),
                         QString::number(click.y()), "click", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(lungTest->rotateView()->isStart(), 10000);

        const QSizeF phone = MainScreen::boundsSize();
        const QSize shot = QImage::fromData(BlewCommonUtil().getScreenShotDataWith(phone)).size();
        QCOMPARE(shot, QSize(640, 1136));

        // One zoom step smaller keeps the shape, and the shared picture.
        QVERIFY(xdotool({"key", "ctrl+minus"}));
        QRect zoomed;
        QTRY_VERIFY((zoomed = geometryOf(window->winId())).height() < placed.height());
        QVERIFY(qAbs(zoomed.width() * 568.0 / 320.0 - zoomed.height()) <= 2);
        QCOMPARE(QImage::fromData(BlewCommonUtil().getScreenShotDataWith(phone)).size(),
                 QSize(640, 1136));
        qDebug("window %dx%d, zoomed %dx%d, screenshot %dx%d", placed.width(), placed.height(),
               zoomed.width(), zoomed.height(), shot.width(), shot.height());
    }
};

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
