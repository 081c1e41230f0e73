#include "share/transport/sharenetworks.h"

#include <array>

namespace {
struct Network {
    const char* name;
    const char* displayName;
};
constexpr std::array kNetworks{
    Network{"wxtimeline", "朋友圈"},
    Network{"sina", "新浪微博"},
    Network{"wxsession", "微信好友"},
};
} // namespace

QStringList ShareNetworks::names() {
    QStringList all;
    for (const Network& network : kNetworks)
        all << QLatin1String(network.name);
    return all;
}

bool ShareNetworks::contains(const QString& name) {
    return names().contains(name);
}

QString ShareNetworks::displayName(const QString& name) {
    for (const Network& network : kNetworks)
        if (name == QLatin1String(network.name))
            return QString::fromUtf8(network.displayName);
    return {};
}
