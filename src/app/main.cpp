#include "app/appicon.h"
#include "app/launcher.h"
#include "app/startupmarks.h"
#include "app/startupprefetch.h"
#include "platform/system/bundle.h"
#include "platform/system/quitsignals.h"

#include <QApplication>
#include <QFont>
#include <QLoggingCategory>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    StartupMarks::mark("main");
    StartupPrefetch prefetch;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const RunOptions options = RunOptions::parse(arguments);
    if (const int status = Launcher::checkOptions(options); status != 0 || options.showHelp)
        return status;
    QString error;
    const auto trace = Launcher::loadLevelTrace(options, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "vantoro: %s\n", qPrintable(error));
        return 2;
    }

    // The browser engine refuses to start its sandbox as root (containers, CI).
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    StartupMarks::mark("application");
    QApplication::setApplicationName(QStringLiteral("Vantoro"));
    // Ties the window to the menu entry app.vantoro.Vantoro.desktop: the
    // Wayland app id, and the icon a window manager shows for it.
    QGuiApplication::setDesktopFileName(Bundle::bundleIdentifier());
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans")));

    Launcher::installLevelSource(options, trace);
    Launcher launcher;
    // Looking the icon up in the icon theme, and loading the audio devices
    // to ask for a microphone, take longer than drawing the first frame: they
    // come after it (the window manager shows the icon a moment later).
    QObject::connect(&launcher, &Launcher::firstFramePainted, &app, [replaying = bool(trace)] {
        QApplication::setWindowIcon(AppIcon::load());
        if (!replaying)
            Launcher::checkAudioInput();
    });
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app, [](int signal) {
        qInfo("vantoro: signal %d, quitting", signal);
        QCoreApplication::quit();
    });
    launcher.launch(options);
    const int status = app.exec();
    // Before the application object goes: Qt's font database takes
    // fontconfig's configuration down with it, which the prefetch may still
    // be setting up after a very early quit.
    prefetch.wait();
    return status;
}
