#pragma once

#include "support/server/rawsocket.h"

#include <QList>
#include <memory>
#include <vector>

// Many clients that trickle one header byte at a time from their own
// loopback addresses, while one ordinary client keeps fetching pages from
// 127.0.0.1 and times each answer. A slow client the server cuts off
// connects again, so that the load lasts as long as the run.
class SlowLoad {
public:
    struct Figures {
        int pages = 0;
        int failures = 0;
        int cuts = 0;
        double p50Ms = 0;
        double p99Ms = 0;
        double maxMs = 0;
    };

    SlowLoad(int port, int slowClients, int trickleMs);
    Figures run(int durationMs);
    // Connects the slow clients and has them send their first byte.
    void open();

private:
    struct Slow {
        RawSocket socket;
        QByteArray source;
        qsizetype sent = 0;
        qint64 nextAtMs = 0;
    };

    void trickle(Slow& slow, qint64 nowMs, int* cuts);
    bool fetchPage(int index, double* ms);

    int m_port;
    int m_trickleMs;
    std::vector<std::unique_ptr<Slow>> m_slow;
    RawSocket m_normal;
};
