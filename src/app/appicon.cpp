#include "app/appicon.h"

#include "platform/system/bundle.h"

#include <QDir>
#include <QImage>
#include <QLoggingCategory>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcAppIcon, "vantoro.launch")

QIcon AppIcon::load() {
    const QString name = Bundle::bundleIdentifier();
    const QString iconsDir = QDir::cleanPath(Bundle::resourcePath() + QStringLiteral("/../icons"));
    const QIcon ownIcon = fromFolder(iconsDir, name);
    const QIcon icon = QIcon::fromTheme(name, ownIcon);
    if (icon.isNull())
        qCWarning(lcAppIcon).noquote() << "no application icon" << name << "in the icon theme or in"
                                       << iconsDir + QStringLiteral("/hicolor");
    return icon;
}

QIcon AppIcon::fromFolder(const QString& iconsDir, const QString& name) {
    // Only the fixed-size folders: "scalable" holds the SVG source, which
    // would need the SVG plugin at run time.
    static const QRegularExpression sizeFolder(QStringLiteral(R"(^(\d+)x\1$)"));
    const QDir hicolor(iconsDir + QStringLiteral("/hicolor"));
    QIcon icon;
    for (const QString& folder : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!sizeFolder.match(folder).hasMatch())
            continue;
        const QString path =
            hicolor.filePath(folder + QStringLiteral("/apps/") + name + QStringLiteral(".png"));
        if (!QFileInfo::exists(path))
            continue;
        const QImage image(path);
        if (image.isNull()) {
            qCWarning(lcAppIcon).noquote() << "cannot read the icon" << path;
            continue;
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
