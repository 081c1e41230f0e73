#pragma once

#include <QProcess>
#include <QStringList>

// A server the benchmark starts as a child process on a free loopback port
// and ends with it; its output is discarded, so that a full pipe never
// stalls it.
class ServerProcess {
public:
    struct Memory {
        double peakMb = 0;     // VmHWM: the most the process has ever held resident
        double residentMb = 0; // VmRSS
        bool valid = false;
    };

    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // `arguments` may name the port as "%PORT%". False when the program does
    // not start or does not accept connections within a few seconds.
    bool start(const QString& program, QStringList arguments);
    // Asks the server to quit, and kills it when it does not.
    void stop();

    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    Memory memory() const;

    static int freePort();

private:
    bool waitUntilListening();

    QProcess m_process;
    int m_port = 0;
};
