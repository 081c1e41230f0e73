#pragma once

#include "app/launcher.h"
#include "app/maininterface.h"
#include "app/tabviewcontroller.h"
#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <utility>

// The application launched in this process as its executable launches it,
// under the test's display, with a content server that answers nothing
// unless the arguments name one, and
// where the run's screenshots go: VANTORO_ARTIFACTS when set, the run's own
// temporary folder otherwise.
class LaunchedApp {
public:
    LaunchedApp() {
        QStandardPaths::setTestModeEnabled(true);
        m_artifacts = qEnvironmentVariable("VANTORO_ARTIFACTS", m_dir.path());
        QDir().mkpath(m_artifacts);
    }

    // Launches with `arguments` after the program's name; false, with the
    // reason in `error`, when the options or the level trace they name are
    // refused.
    bool launch(const QStringList& arguments, QString* error) {
        QStringList all = QStringList{QStringLiteral("vantoro")} + arguments;
        if (!arguments.contains(QStringLiteral("--content-base")))
            all << QStringLiteral("--content-base") << QStringLiteral("http://127.0.0.1:9");
        const RunOptions options = RunOptions::parse(all);
        if (!options.error.isEmpty()) {
            *error = options.error;
            return false;
        }
        std::optional<LevelTrace> trace;
        if (!options.levelTracePath.isEmpty()) {
            trace = Launcher::loadLevelTrace(options, error);
            if (!trace)
                return false;
        }
        Launcher::installLevelSource(options, trace);
        m_launcher = std::make_unique<Launcher>();
        m_launcher->launch(options);
        return true;
    }

    // Launches with a level trace of `levels` (lines of "seconds dB", written
    // into the run's folder) replayed instead of the microphone.
    bool launchReplaying(const QByteArray& levels, QString* error,
                         const QStringList& arguments = {}) {
        const QString trace = m_dir.filePath(QStringLiteral("blow.txt"));
        QFile file(trace);
        if (!file.open(QIODevice::WriteOnly) || file.write(levels) != levels.size()) {
            *error = QStringLiteral("cannot write %1").arg(trace);
            return false;
        }
        file.close();
        return launch(QStringList{QStringLiteral("--level-trace"), trace} + arguments, error);
    }

    // Closes the application as its executable does on quitting: the
    // application resigns and terminates, as its quit signal has the state
    // notifier post (analytics then ends the use and saves what it has not
    // sent), and the launcher goes.
    void quit() {
        if (m_launcher) {
            NotificationCenter& center = NotificationCenter::defaultCenter();
            center.postNotificationName(ApplicationNotifications::willResignActive(), qApp);
            center.postNotificationName(ApplicationNotifications::willTerminate(), qApp);
        }
        m_launcher.reset();
    }

    QWidget* window() const { return m_launcher->window(); }
    TabViewController* tabs() const { return MainInterface::tabViewController(window()); }
    template <typename Screen> Screen* screen(int tab) const {
        return qobject_cast<Screen*>(tabs()->viewControllers().at(tab));
    }

    // The run's own temporary folder.
    QString folder() const { return m_dir.path(); }
    QString artifacts() const { return m_artifacts; }
    // True when the window looks as it did at the previous call: polled
    // before a screenshot, so that the picture catches no change half-way.
    bool looksStill() {
        QImage now = window()->grab().toImage();
        const bool still = now == m_lastLook;
        m_lastLook = std::move(now);
        return still;
    }
    // Keeps the window as it is now, as artifacts/`name`.png.
    void snapshot(const QString& name) const {
        QVERIFY(window()->grab().toImage().save(m_artifacts + u'/' + name + ".png"));
    }

private:
    QTemporaryDir m_dir;
    QString m_artifacts;
    std::unique_ptr<Launcher> m_launcher;
    QImage m_lastLook;
};
