#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A record's text without the white space between its tokens, as both
// stores keep it: a pretty-printed report is kept as small as a compact one.
// The text is known to be JSON, so only strings need care.
inline void compactJson(QByteArrayView json, QByteArray* out) {
    out->clear();
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            *out += c;
            if (c == '\\' && i + 1 < json.size())
                *out += json[++i];
            else if (c == '"')
                inString = false;
        } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
            *out += c;
            inString = c == '"';
        }
    }
}
