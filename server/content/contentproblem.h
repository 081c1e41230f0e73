#pragma once

#include <QString>

// A content file that could not be used, as the operator is shown it.
struct ContentProblem {
    // Relative to the content folder ("articles/haze.md", "pm25rank.json").
    QString file;
    // 1-based; 0 when no one line is to blame (unreadable, missing, bad name).
    int line = 0;
    QString message;

    bool operator==(const ContentProblem&) const = default;
};
