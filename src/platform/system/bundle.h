#pragma once

#include <QString>
#include <QVariant>

// The application bundle: the resource folder beside the executable (build
// tree "resources/", install tree "../share/vantoro/") and the information
// values that a phone bundle would carry in its info dictionary.
class Bundle {
public:
    // Full path of "name.type" in the bundle, or an empty string when the
    // bundle has no such file.
    static QString pathForResource(const QString& name, const QString& type);
    static QString resourcePath();
    // Overrides where the bundle is looked for (tests, tools).
    static void setResourcePath(const QString& path);

    // "CFBundleShortVersionString", "CFBundleDisplayName", "CFBundleIdentifier";
    // an invalid QVariant for anything else.
    static QVariant infoValue(const QString& key);
    static QString bundleIdentifier();
};
