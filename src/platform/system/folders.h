#pragma once

#include <QString>

// The application's own folders: home (the application data folder) with its
// Documents folder inside, and the caches folder. Each getter creates the
// folder when it does not exist yet.
class Folders {
public:
    static QString home();
    static QString documents();
    static QString caches();
};
