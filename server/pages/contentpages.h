#pragma once

#include "server/content/article.h"
#include "server/content/rankingtable.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The HTML the content server sends: small pages for a phone screen, UTF-8,
// styled inline and readable without scripts. Every value that comes from a
// request or a data file goes through escape().
class ContentPages {
public:
    static QString escape(const QString& text);

    static QByteArray index();
    // The list of articles, in the order given.
    static QByteArray hotIssues(const QList<Article>& articles);
    // One article, with links to the others of the list.
    static QByteArray article(const Article& article, const QList<Article>& all);
    static QByteArray ranking(const RankingTable& table);
    // The share landing pages; `link` is the page's own absolute address at
    // the public URL, which link previews and search engines are given.
    static QByteArray lungResult(int capacity, int percent, const QString& comment,
                                 const QString& link);
    static QByteArray smogResult(int percent, const QString& comment, const QString& link);
    static QByteArray error(int status, const QString& title, const QString& message);

private:
    static QString sampleMark(const Article& article);
    static QByteArray page(const QString& title, const QString& body,
                           const QString& head = QString());
    static QString shareHead(const QString& title, const QString& description, const QString& link);
};
