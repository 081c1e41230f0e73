#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// nginx in front of a content server, as an operator runs one: every
// request goes through to the server with the browser's own Host header,
// except those under /proxy-pages/, which nginx serves itself from
// pageFolder(). A second port serves only those pages: to a browser, a
// page there is of another origin (though of the same site). nginx runs as
// one process of the test's own, with its files in a temporary folder, and
// stops when the object goes.
class NginxProxy {
public:
    static constexpr const char* kPagePath = "/proxy-pages/";

    NginxProxy();
    ~NginxProxy();
    NginxProxy(const NginxProxy&) = delete;
    NginxProxy& operator=(const NginxProxy&) = delete;

    // Empty when nginx is not installed.
    static QString executable();

    // Starts nginx on two free ports of 127.0.0.1 in front of the server
    // at `upstreamPort` and waits until it takes connections; false with
    // `why` when it does not.
    bool start(int upstreamPort, QString* why);
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int upstreamPort() const { return m_upstream; }

    // Where the served pages are written; they are read at each request.
    QString pageFolder() const;
    // "http://127.0.0.1:PORT" of the proxy, and of the pages-only port.
    QString origin() const;
    QString otherOrigin() const;

private:
    bool writeConfig(QString* why) const;
    bool startOnce(QString* why);
    bool waitUntilListening();
    QString logTail() const;

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_upstream = 0;
    int m_port = 0;
    int m_otherPort = 0;
};
