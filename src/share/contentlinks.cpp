#include "share/contentlinks.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QUrl g_base(QStringLiteral("http://127.0.0.1"));
} // namespace

void ContentLinks::setBaseUrl(const QUrl& base) {
    std::lock_guard lock(g_mutex);
    g_base = base.path() == QLatin1String("/") ? base.adjusted(QUrl::RemovePath)
                                               : base.adjusted(QUrl::StripTrailingSlash);
}

QUrl ContentLinks::baseUrl() {
    std::lock_guard lock(g_mutex);
    return g_base;
}

QString ContentLinks::base() {
    return baseUrl().toString(QUrl::StripTrailingSlash);
}

QString ContentLinks::rootPage() {
    return baseUrl()
        .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString(QUrl::StripTrailingSlash);
}

QString ContentLinks::link(const QString& pathAndQuery) {
    return base() + pathAndQuery;
}
