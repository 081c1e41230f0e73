#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

// The bundle's localized strings tables: "<table>.strings" files in the
// phone's text format, UTF-8, one `"key" = "value";` statement each, with
// C-style comments and backslash escapes. A table is read once per process
// and kept.
class LocalizedStrings {
public:
    // The entry of `key` in `table` ("Localizable" when empty); when the table
    // has none, `value` if it is not empty, else the key itself.
    static QString localizedStringForKey(const QString& key, const QString& value,
                                         const QString& table);

    struct ParseError {
        int line = 0;
        QString message;
    };

    // Parses the text of a strings file. On a syntax error `error` (if given)
    // tells where, and the result holds the statements completed before it.
    static QHash<QString, QString> parse(QStringView text, ParseError* error);
};
