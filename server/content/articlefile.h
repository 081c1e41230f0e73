#pragma once

#include "server/content/article.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One article file: a header of "key: value" lines between two "---" lines,
// then the Markdown body.
//
//   ---
//   title: ...
//   tag: ...
//   date: YYYY-MM-DD
//   summary: ...
//   sample: yes            (optional)
//   ---
//   Markdown text
class ArticleFile {
public:
    // Why a file is not an article; line is 1-based, 0 for the whole file.
    struct Error {
        QString message;
        int line = 0;
    };

    // Bigger files are refused unread: an article is a page, not an archive.
    static constexpr qsizetype kMaxBytes = 1 << 20;

    // Ids appear in page addresses: letters, digits, '_' and '-', 1 to 64 of them.
    static bool isValidId(const QString& id);
    static std::optional<Article> parse(const QString& id, const QByteArray& bytes, Error* error);
};
