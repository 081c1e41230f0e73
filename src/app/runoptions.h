#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>

// What the command line may change: where levels come from, the phone screen
// the window stands for, the content server, and a URL handed to the
// application (a share hand-back).
struct RunOptions {
    QString levelTracePath;
    // Where every microphone recording writes the levels it polled.
    QString recordLevelsDir;
    QSizeF screenSize{320, 568};
    double screenScale = 2.0;
    QUrl contentBase;
    QUrl openUrl;

    bool showHelp = false;
    QString error;

    static RunOptions parse(const QStringList& arguments);
    static QString usage();
};
