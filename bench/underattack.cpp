#include "underattack.h"

#include "benchoutput.h"
#include "loopbackconnection.h"
#include "samplestats.h"
#include "serverprocess.h"
#include "support/zlibpacked.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string kToken = "attack-bench-token-0123456789";

std::string post(const QByteArray& body, const char* encoding) {
    return "POST /analytics/report HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Encoding: " +
           std::string(encoding) + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body.toStdString();
}

// One error record whose crash text is just under the largest report, in
// stack lines that deflate to about 12 KB.
std::string crashReport(int n) {
    const QByteArray context = "Application received signal SIGSEGV\\n(null)\\n(\\n" +
                               QByteArray("a(b)\\n").repeated(((8 << 20) - 4096) / 6) +
                               ")\\n\\ndSYM UUID: B1D\\n";
    return post(zlibPacked(R"({"error":[{"id":"crash)" + QByteArray::number(n) +
                               R"(","type":"error","ts":1796780258,"context":")" + context +
                               R"("}]})",
                           15),
                "deflate");
}

std::string eventFlood(int n) {
    QByteArray json = R"({"event":[)";
    for (int i = 0; i < 20000; ++i)
        json += QByteArray(i ? "," : "") + R"({"id":"f)" + QByteArray::number(n) + '-' +
                QByteArray::number(i) + R"(","type":"event","ts":1796780258,"event_id":"e)" +
                QByteArray::number(n) + '-' + QByteArray::number(i) + "\"}";
    return post(zlibPacked(json + "]}", 31), "gzip");
}

// The player: a page load on a connection of its own, as often as it can.
struct PageFigures {
    int tries = 0;
    int served = 0;
    std::vector<double> ms;
};

PageFigures player(int port, double seconds) {
    PageFigures figures;
    const std::string request =
        "GET /wechat/getPm25Rank.do HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < seconds * 1000;) {
        QElapsedTimer one;
        one.start();
        LoopbackConnection connection;
        ++figures.tries;
        if (connection.open(port) && connection.exchange(request).status == 200) {
            ++figures.served;
            figures.ms.push_back(double(one.nsecsElapsed()) / 1e6);
        }
    }
    return figures;
}

void print(const std::string& phase, const PageFigures& figures, const PageFigures* quiet) {
    const SampleStats stats(figures.ms);
    for (const double p : {50.0, 99.0}) {
        const std::string key = phase + "_page_p" + std::to_string(int(p)) + "_ms";
        std::string note;
        if (quiet) {
            const double base = SampleStats(quiet->ms).percentile(p);
            char ratio[64];
            std::snprintf(ratio, sizeof ratio, "%.2fx of no attack", stats.percentile(p) / base);
            note = ratio;
        }
        benchPrint(key, stats.percentile(p), note.c_str());
    }
    benchPrint(phase + "_page_served_percent",
               figures.tries ? 100.0 * figures.served / figures.tries : 0,
               (std::to_string(figures.served) + " of " + std::to_string(figures.tries)).c_str());
}

// Posts `requests` in turn on one keep-alive connection until told to stop.
void sender(int port, const std::vector<std::string>& requests, std::atomic<bool>& running,
            std::atomic<int>* byStatus) {
    LoopbackConnection connection;
    for (std::size_t n = 0; running; ++n) {
        if (!connection.open(port))
            continue;
        const int status = connection.exchange(requests[n % requests.size()]).status;
        ++byStatus[status == 200 ? 0 : status == 429 ? 1 : status == 503 ? 2 : 3];
    }
}

// A socket from `source` that has sent part of a head; -1 when it cannot.
int unfinishedHead(int port, const std::string& source) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(quint16(port));
    const char head[] = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        ::send(fd, head, sizeof head - 1, MSG_NOSIGNAL) < 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// 33 addresses x 32 connections, each replaced as soon as it is dropped.
void holdHeads(int port, std::atomic<bool>& running, std::atomic<int>& reconnects) {
    std::vector<pollfd> held;
    std::vector<std::string> sources;
    for (int a = 0; a < 33; ++a)
        for (int c = 0; c < 32; ++c) {
            sources.push_back("127.0.7." + std::to_string(a + 1));
            held.push_back({unfinishedHead(port, sources.back()), POLLIN, 0});
        }
    while (running) {
        ::poll(held.data(), held.size(), 20);
        for (std::size_t i = 0; i < held.size(); ++i) {
            if (held[i].fd >= 0 && held[i].revents == 0)
                continue;
            char drop[512];
            if (held[i].fd >= 0 && ::recv(held[i].fd, drop, sizeof drop, MSG_DONTWAIT) > 0)
                continue;
            if (held[i].fd >= 0)
                ::close(held[i].fd);
            held[i].fd = unfinishedHead(port, sources[i]);
            ++reconnects;
        }
    }
    for (const pollfd& p : held)
        if (p.fd >= 0)
            ::close(p.fd);
}

struct Server {
    QTemporaryDir dir;
    ServerProcess process;

    bool start(const QString& program) {
        QFile token(dir.filePath(QStringLiteral("token")));
        if (!token.open(QIODevice::WriteOnly) || token.write(kToken.c_str()) < 0)
            return false;
        token.close();
        return process.start(program, {QStringLiteral("--port"), QStringLiteral("%PORT%"),
                                       QStringLiteral("--data"), dir.filePath("data"),
                                       QStringLiteral("--admin-token-file"), token.fileName()});
    }
    double databaseMb() const {
        return double(QFileInfo(dir.filePath("data/reports.sqlite")).size()) / (1 << 20);
    }
};

void printStatuses(const std::string& phase, const std::atomic<int>* byStatus) {
    const std::string counts =
        std::to_string(byStatus[0]) + " stored, " + std::to_string(byStatus[1]) + " 429, " +
        std::to_string(byStatus[2]) + " 503, " + std::to_string(byStatus[3]) + " other or none";
    benchPrint(phase + "_reports_answered", byStatus[0] + byStatus[1] + byStatus[2],
               counts.c_str());
}

} // namespace

void UnderAttack::run() {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &files);
    std::printf("# under attack: one player's page loads for %.0f s during each attack, each on "
                "a fresh server with its default limits\n",
                kSeconds);

    Server quietServer;
    if (!quietServer.start(m_program))
        return void(std::printf("# the content server did not start\n"));
    const PageFigures quiet = player(quietServer.process.port(), kSeconds);
    print("attack_none", quiet, nullptr);
    quietServer.process.stop();

    // (a)
    {
        Server server;
        std::vector<std::string> crashes;
        for (int n = 0; n < 8; ++n)
            crashes.push_back(crashReport(n));
        if (!server.start(m_program))
            return;
        std::atomic<bool> running = true;
        std::atomic<int> byStatus[4] = {0, 0, 0, 0};
        std::vector<std::thread> senders;
        for (int s = 0; s < 8; ++s)
            senders.emplace_back(
                [&, s] { sender(server.process.port(), {crashes[s]}, running, byStatus); });
        print("attack_a_crash_reports", player(server.process.port(), kSeconds), &quiet);
        running = false;
        for (std::thread& t : senders)
            t.join();
        printStatuses("attack_a", byStatus);
        benchPrint("attack_a_server_hwm_mb", server.process.memory().peakMb);
        benchPrint("attack_a_database_mb", server.databaseMb());
    }
    // (b)
    {
        Server server;
        if (!server.start(m_program))
            return;
        std::atomic<bool> running = true;
        std::atomic<int> reconnects = 0;
        std::thread holder([&] { holdHeads(server.process.port(), running, reconnects); });
        print("attack_b_unfinished_heads", player(server.process.port(), kSeconds), &quiet);
        running = false;
        holder.join();
        benchPrint("attack_b_reconnects", reconnects, "held connections dropped and replaced");
        benchPrint("attack_b_server_hwm_mb", server.process.memory().peakMb);
    }
    // (c)
    {
        Server server;
        std::vector<std::string> floods;
        for (int n = 0; n < 4; ++n)
            floods.push_back(eventFlood(n));
        if (!server.start(m_program))
            return;
        std::atomic<bool> running = true;
        std::atomic<int> byStatus[4] = {0, 0, 0, 0};
        std::thread flooder([&] { sender(server.process.port(), floods, running, byStatus); });
        print("attack_c_event_floods", player(server.process.port(), kSeconds), &quiet);
        running = false;
        flooder.join();
        printStatuses("attack_c", byStatus);
        LoopbackConnection admin;
        QElapsedTimer clock;
        clock.start();
        const auto page = admin.open(server.process.port())
                              ? admin.exchange("GET /admin HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                               "Authorization: Bearer " +
                                               kToken + "\r\n\r\n")
                              : LoopbackConnection::Response();
        benchPrint("attack_c_admin_ms", double(clock.nsecsElapsed()) / 1e6,
                   ("status " + std::to_string(page.status)).c_str());
        benchPrint("attack_c_admin_kb", double(page.body.size()) / 1024);
        benchPrint("attack_c_server_hwm_mb", server.process.memory().peakMb);
        benchPrint("attack_c_database_mb", server.databaseMb());
    }
}
