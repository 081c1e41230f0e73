#pragma once

#include <QIcon>
#include <QString>

// The icon of the application's windows, the one its desktop menu entry
// shows, so that the window and the entry are seen as one application.
class AppIcon {
public:
    // The icon theme's icon of that name when the desktop has one (a theme
    // may restyle it), otherwise the hicolor icons of the tree the
    // application runs from: the folder "icons" beside the bundle, which is
    // <build>/icons in the build tree and <prefix>/share/icons once
    // installed. Null, with a warning, when neither has it.
    static QIcon load();

    // The PNG renderings of icon `name` in `iconsDir`/hicolor/<N>x<N>/apps/,
    // one per size; unreadable files are skipped with a warning.
    static QIcon fromFolder(const QString& iconsDir, const QString& name);
};
