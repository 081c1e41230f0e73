#include "platform/system/device.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_version = QStringLiteral("7.0");
} // namespace

QString Device::systemVersion() {
    std::lock_guard lock(g_mutex);
    return g_version;
}

void Device::setSystemVersion(const QString& version) {
    std::lock_guard lock(g_mutex);
    g_version = version;
}

int Device::systemMajorVersion() {
    return systemVersion().section(u'.', 0, 0).toInt();
}
