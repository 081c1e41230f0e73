#pragma once

#include "runoptions.h"

#include <QObject>
#include <QPointer>
#include <memory>

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
    // The microphone, or the replayed trace; false with the reason (file
    // and line) when the trace cannot be read or parsed.
    static bool installLevelSource(const RunOptions& options, QString* error);
    static void installSoundOutput();

    void launch(const RunOptions& options);

    AppDelegate* delegate() const { return m_delegate.get(); }
    QWidget* window() const { return m_window; }

private:
    void shutDown();
    void startEmbeddedServer();

    // How long a quit waits for analytics to save what it has not sent.
    static constexpr int kAnalyticsFinishMs = 5000;

    std::unique_ptr<ContentServer> m_server;
    std::unique_ptr<AppDelegate> m_delegate;
    QPointer<QWidget> m_window;
};
