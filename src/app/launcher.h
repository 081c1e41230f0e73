#pragma once

#include "app/runoptions.h"
#include "platform/audio/leveltrace.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

class AppDelegate;
class ContentServer;
#include <QWidget>

// Brings the application up from its run options: the level source, the
// screen, the content server, the window and the delegate's start-up.
class Launcher : public QObject {
    Q_OBJECT
public:
    explicit Launcher(QObject* parent = nullptr);
    ~Launcher() override;

    // Exit status 2 and a message on stderr for options that cannot be used.
    static int checkOptions(const RunOptions& options);
    // The trace named by --level-trace, read before any window system is
    // opened so that a bad file is reported the same way with or without a
    // display. Empty without the option; on failure also empty, with the
    // reason (file and line) in `error`.
    static std::optional<LevelTrace> loadLevelTrace(const RunOptions& options, QString* error);
    // The replayed trace when there is one, otherwise the microphone.
    static void installLevelSource(const RunOptions& options,
                                   const std::optional<LevelTrace>& trace);
    static void installSoundOutput();
    // Says in the log when there is no microphone to listen to. Loads the
    // audio devices: run after the first frame.
    static void checkAudioInput();

    void launch(const RunOptions& options);

    AppDelegate* delegate() const { return m_delegate.get(); }
    QWidget* window() const { return m_window; }

signals:
    // Once, when the window's first frame is on screen.
    void firstFramePainted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void shutDown();
    void startEmbeddedServer();

    // How long a quit waits for analytics to save what it has not sent.
    static constexpr int kAnalyticsFinishMs = 5000;

    std::unique_ptr<ContentServer> m_server;
    std::unique_ptr<AppDelegate> m_delegate;
    QPointer<QWidget> m_window;
};
