#include "app/launcher.h"

#include "analytics/analytics.h"
#include "analytics/analyticsservice.h"
#include "app/appdelegate.h"
#include "app/maininterface.h"
#include "app/startupmarks.h"
#include "blow/qmxblewer.h"
#include "platform/audio/audiodevicesmodule.h"
#include "platform/audio/audioplayer.h"
#include "platform/audio/levelrecordingrecorder.h"
#include "platform/audio/tracerecorder.h"
#include "platform/uikit/applicationstatenotifier.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/phonewindow.h"
#include "server/contentserver.h"
#include "share/transport/contentlinks.h"
#include "share/transport/sharetransportregistry.h"
#include "share/vantorokeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QLoggingCategory>
#include <QWidget>
#include <cstdio>

Q_LOGGING_CATEGORY(lcLaunch, "vantoro.launch")

Launcher::Launcher(QObject* parent) : QObject(parent) {}

Launcher::~Launcher() {
    shutDown();
    delete m_window;
}

int Launcher::checkOptions(const RunOptions& options) {
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "vantoro: %s\n%s", qPrintable(options.error),
                     qPrintable(RunOptions::usage()));
        return 2;
    }
    if (options.showHelp)
        std::fputs(qPrintable(RunOptions::usage()), stdout);
    else if (!options.recordLevelsDir.isEmpty() && !QDir().mkpath(options.recordLevelsDir)) {
        std::fprintf(stderr, "vantoro: --record-levels: cannot make the folder %s\n",
                     qPrintable(options.recordLevelsDir));
        return 2;
    }
    return 0;
}

std::optional<LevelTrace> Launcher::loadLevelTrace(const RunOptions& options, QString* error) {
    if (options.levelTracePath.isEmpty())
        return std::nullopt;
    LevelTrace::ParseError parseError;
    auto trace = LevelTrace::load(options.levelTracePath, &parseError);
    if (!trace && error)
        *error =
            QStringLiteral("level trace %1:%2: %3")
                .arg(options.levelTracePath, QString::number(parseError.line), parseError.message);
    return trace;
}

namespace {

// The microphone, writing down the levels it gives when asked to.
std::shared_ptr<AudioRecorder> microphone(const QString& path, const QVariantMap& settings,
                                          const QString& levelsDir) {
    AudioDevices* devices = AudioDevicesModule::devices();
    std::shared_ptr<AudioRecorder> recorder =
        devices ? devices->microphone(path, settings) : nullptr;
    if (!recorder || levelsDir.isEmpty())
        return recorder;
    return std::make_shared<LevelRecordingRecorder>(std::move(recorder), levelsDir);
}

} // namespace

void Launcher::installLevelSource(const RunOptions& options,
                                  const std::optional<LevelTrace>& trace) {
    if (!trace) {
        AudioRecorder::setFactory(
            [levels = options.recordLevelsDir](const QString& path, const QVariantMap& settings) {
                return microphone(path, settings, levels);
            });
        if (!options.recordLevelsDir.isEmpty())
            qCInfo(lcLaunch) << "writing the levels of every recording to"
                             << options.recordLevelsDir;
        return;
    }
    AudioRecorder::setFactory([trace = *trace](const QString& path, const QVariantMap&) {
        return std::make_shared<TraceRecorder>(trace, path);
    });
    qCInfo(lcLaunch) << "replaying" << trace->points().size() << "levels from"
                     << options.levelTracePath << "instead of the microphone";
}

void Launcher::installSoundOutput() {
    AudioPlayer::setFactory([](const QString& path) -> std::shared_ptr<AudioPlayer> {
        AudioDevices* devices = AudioDevicesModule::devices();
        return devices ? devices->player(path) : nullptr;
    });
}

void Launcher::checkAudioInput() {
    AudioDevices* devices = AudioDevicesModule::devices();
    if (!devices || !devices->hasAudioInput())
        qCWarning(lcLaunch) << "no audio input: blowing cannot be measured until a microphone"
                               " is connected";
}

void Launcher::launch(const RunOptions& options) {
    // The application's analytics service, before anything can log an event;
    // it ends with the launcher, after the quit has saved what it kept.
    AnalyticsService::Dependencies analytics;
    analytics.appKey = QString::fromLatin1(VantoroKeys::appKey);
    AnalyticsService::install(new AnalyticsService(std::move(analytics), this));
    MainScreen::set(options.screenSize, options.screenScale);
    if (options.contentBase.isValid())
        ContentLinks::setBaseUrl(options.contentBase);
    else
        startEmbeddedServer();
    StartupMarks::mark("server");
    installSoundOutput();
    // Every share goes to the outbox and to the desktop's own way of
    // reaching the network (browser page or QR code).
    ShareTransportRegistry::sharedInstance().useApplicationTransports();
    Analytics::setReportUrl(
        ContentLinks::baseUrl().resolved(QUrl(QStringLiteral("/analytics/report"))));

    PhoneWindow* window = MainInterface::load(options.screenSize, options.screenScale);
    m_window = window;
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->setWindow(m_window);
    m_delegate->didFinishLaunchingWithOptions();
    // After analytics has started, so that its sessions hear the first
    // activation; before our own quit handler, so that the end of use is
    // saved before it waits for the save.
    new ApplicationStateNotifier(this);
    qApp->installEventFilter(this);
    window->fitToScreen();
    KeyWindow::makeKeyAndVisible(m_window);
    StartupMarks::mark("first-tab");
    if (!options.openUrl.isEmpty())
        m_delegate->handleOpenURL(options.openUrl);

    connect(qApp, &QCoreApplication::aboutToQuit, this, &Launcher::shutDown);
}

// Says once when the window's first frame is on screen: the moment a user
// sees the application, which the start-up benchmark times.
bool Launcher::eventFilter(QObject* watched, QEvent* event) {
    // The tabs cover the window itself, so the first paint is a child's.
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == m_window) {
        qApp->removeEventFilter(this);
        // Queued, so that it runs once the frame has been painted and flushed.
        QMetaObject::invokeMethod(
            this,
            [this] {
                StartupMarks::mark("first-frame");
                qCInfo(lcLaunch).noquote()
                    << "start-up marks (monotonic ms):" << StartupMarks::summary();
                qCInfo(lcLaunch) << "first frame painted";
                emit firstFramePainted();
            },
            Qt::QueuedConnection);
    }
    return false;
}

// Without a content server of its own choosing, the application serves its
// pages and landing pages itself on the loopback interface.
void Launcher::startEmbeddedServer() {
    m_server = std::make_unique<ContentServer>();
    // Its only client is this player, on loopback: a limit per client would
    // only hold back the player's own backlog.
    m_server->setClientRecordsPerSecond(0);
    if (!m_server->start()) {
        qCWarning(lcLaunch) << "the embedded content server would not start; pages will not load";
        return;
    }
    ContentLinks::setBaseUrl(QUrl(m_server->baseUrl()));
    qCInfo(lcLaunch) << "content server at" << m_server->baseUrl();
}

void Launcher::shutDown() {
    // A loop still polling the recorder would keep the process from ending.
    QMXBlewer::sharedInstance().stopBlew();
    Analytics::finish(kAnalyticsFinishMs);
}
