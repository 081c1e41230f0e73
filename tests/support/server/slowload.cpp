#include "support/server/slowload.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>

namespace {

// Never finished within a run: a byte every couple of seconds.
const QByteArray kSlowRequest =
    "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(200, 'a') + "\r\n\r\n";

const char* const kPages[] = {"/", "/wechat/getPm25CentralIssue.do",
                              "/wechat/article.do?id=what-is-pm25", "/wechat/getPm25Rank.do",
                              "/wechat/getPm25Capacity.do?percent=93&random=1"};

double percentile(QList<double> sorted, double fraction) {
    if (sorted.isEmpty())
        return 0;
    const qsizetype at = std::min(sorted.size() - 1, qsizetype(fraction * double(sorted.size())));
    return sorted.at(at);
}

} // namespace

SlowLoad::SlowLoad(int port, int slowClients, int trickleMs)
    : m_port(port), m_trickleMs(trickleMs) {
    for (int i = 0; i < slowClients; ++i) {
        auto slow = std::make_unique<Slow>();
        // 127.0.0.2 to 127.0.0.101: a hundred addresses, two clients each at 200.
        slow->source = "127.0.0." + QByteArray::number(2 + i % 100);
        m_slow.push_back(std::move(slow));
    }
}

void SlowLoad::open() {
    for (auto& slow : m_slow) {
        slow->socket.connectTo(m_port, slow->source.constData());
        slow->socket.send(kSlowRequest.left(1));
        slow->sent = 1;
        slow->nextAtMs = m_trickleMs;
    }
}

void SlowLoad::trickle(Slow& slow, qint64 nowMs, int* cuts) {
    if (!slow.socket.isOpen() || slow.socket.closedWithin(0)) {
        ++*cuts;
        slow.socket.connectTo(m_port, slow.source.constData());
        slow.sent = 0;
        slow.nextAtMs = nowMs;
    }
    if (nowMs < slow.nextAtMs || slow.sent >= kSlowRequest.size() - 1)
        return;
    slow.socket.send(kSlowRequest.mid(slow.sent++, 1));
    slow.nextAtMs = nowMs + m_trickleMs;
}

bool SlowLoad::fetchPage(int index, double* ms) {
    QElapsedTimer clock;
    clock.start();
    if (!m_normal.isOpen() && !m_normal.connectTo(m_port))
        return false;
    const QByteArray path = kPages[index % std::size(kPages)];
    m_normal.send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const QByteArray response = m_normal.readResponse(5000);
    *ms = double(clock.nsecsElapsed()) / 1e6;
    return RawSocket::statusOf(response) == 200;
}

SlowLoad::Figures SlowLoad::run(int durationMs) {
    Figures figures;
    QList<double> latencies;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < durationMs) {
        for (auto& slow : m_slow)
            trickle(*slow, clock.elapsed(), &figures.cuts);
        double ms = 0;
        if (!fetchPage(figures.pages++, &ms))
            ++figures.failures;
        latencies << ms;
        QThread::msleep(20);
    }
    std::sort(latencies.begin(), latencies.end());
    figures.p50Ms = percentile(latencies, 0.50);
    figures.p99Ms = percentile(latencies, 0.99);
    figures.maxMs = latencies.isEmpty() ? 0 : latencies.last();
    return figures;
}
