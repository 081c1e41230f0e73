#include "server/store/retention.h"

#include "server/serverlog.h"
#include "server/store/reportstore.h"

#include <QElapsedTimer>

Retention::Retention(ReportStore& store, int keepDays, int batch)
    : m_store(store), m_keepDays(keepDays), m_batch(batch) {}

Retention::~Retention() {
    stop();
}

double Retention::cutoff(const QDateTime& now, int keepDays) {
    const QDate first = now.toUTC().addDays(-keepDays).date();
    return double(QDateTime(first, QTime(0, 0), Qt::UTC).toSecsSinceEpoch());
}

Retention::Run Retention::run(const QDateTime& now) {
    QElapsedTimer clock;
    clock.start();
    const double before = cutoff(now, m_keepDays);
    Run total;
    total.ok = true;
    while (!m_stopping) {
        const ReportStore::Removal removal = m_store.removeBefore(before, m_batch);
        total.ok = removal.ok;
        total.records += removal.records;
        total.reports += removal.reports;
        if (!removal.ok || removal.records + removal.reports == 0)
            break;
        std::this_thread::sleep_for(kPause);
    }
    total.ms = clock.elapsed();
    qCInfo(lcServer).noquote()
        << QStringLiteral("retention: removed %1 records and %2 reports older than %3 days in "
                          "%4 ms%5")
               .arg(total.records)
               .arg(total.reports)
               .arg(m_keepDays)
               .arg(total.ms)
               .arg(total.ok ? QString() : QStringLiteral(" (stopped: the store failed)"));
    return total;
}

void Retention::start() {
    if (m_thread.joinable())
        return;
    m_stopping = false;
    m_thread = std::thread([this] { loop(); });
}

void Retention::loop() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        run(QDateTime::currentDateTimeUtc());
        lock.lock();
        m_wake.wait_for(lock, kPeriod, [this] { return m_stopping.load(); });
    }
}

void Retention::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}
