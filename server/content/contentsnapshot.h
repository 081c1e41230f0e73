#pragma once

#include "server/content/article.h"
#include "server/content/contentproblem.h"
#include "server/content/rankingtable.h"

#include <QList>
#include <optional>

// Everything the content pages show, as of one reload. A snapshot is never
// changed once published: a reader keeps the one it took for a whole page,
// so a reload running meanwhile can neither block it nor mix two versions.
struct ContentSnapshot {
    // Newest first, then by id.
    QList<Article> articles;
    // None until a ranking file has been read whole and valid.
    std::optional<RankingTable> ranking;
    QList<ContentProblem> problems;

    const Article* article(const QString& id) const {
        for (const Article& a : articles)
            if (a.id == id)
                return &a;
        return nullptr;
    }
};
