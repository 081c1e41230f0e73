#include "app/appicon.h"

#include "platform/system/bundle.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcAppIcon, "vantoro.launch")

QIcon AppIcon::load() {
    const QString name = Bundle::bundleIdentifier();
    // Installed, the theme has it; the folder beside the bundle is looked
    // at only when it does not, so a start reads no icon file it will not use.
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    const QString iconsDir = QDir::cleanPath(Bundle::resourcePath() + QStringLiteral("/../icons"));
    const QIcon icon = fromFolder(iconsDir, name);
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
        // Only the header is read now; the pixels when a size is drawn.
        if (!QImageReader(path).canRead()) {
            qCWarning(lcAppIcon).noquote() << "cannot read the icon" << path;
            continue;
        }
        const int side = folder.section(u'x', 0, 0).toInt();
        icon.addFile(path, QSize(side, side));
    }
    return icon;
}
