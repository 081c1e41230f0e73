#pragma once

#include <QString>
#include <QStringList>

// The networks a share can go to, by the names the service, the transports
// and the sheet use, in the sheet's order, and the names players read.
class ShareNetworks {
public:
    // "wxtimeline", "sina", "wxsession".
    static QStringList names();
    static bool contains(const QString& name);
    // The player's name for the network; empty for an unknown name.
    static QString displayName(const QString& name);
};
