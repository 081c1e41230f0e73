#include "platform/system/dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>
#include <atomic>

namespace {
std::atomic<Dispatch*> g_override{nullptr};
}

void Dispatch::main(Block block) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block), Qt::QueuedConnection);
}

void Dispatch::global(Block block) {
    // Like the platform's global queue, this pool grows rather than making a
    // block wait behind a loop that sleeps between polls.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(16);
        p->setExpiryTimeout(30000);
        return p;
    }();
    pool->start(std::move(block));
}

Dispatch& Dispatch::shared() {
    static Dispatch real;
    Dispatch* override = g_override.load();
    return override ? *override : real;
}

void Dispatch::setShared(Dispatch* dispatch) {
    g_override.store(dispatch);
}
