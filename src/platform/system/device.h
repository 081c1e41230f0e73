#pragma once

#include <QString>

// What the device says about itself. The desktop reports a current system;
// layouts that differ on older systems read it from here.
class Device {
public:
    static QString systemVersion();
    static void setSystemVersion(const QString& version);
    // The integer value of the leading number of the version ("6.1" is 6).
    static int systemMajorVersion();
};
