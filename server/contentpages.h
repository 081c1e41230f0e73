#pragma once

#include "server/rankingtable.h"

#include <QByteArray>
#include <QString>

// The HTML the content server sends: small pages for a phone screen, UTF-8,
// styled inline and readable without scripts. Every value that comes from a
// request or a data file goes through escape().
class ContentPages {
public:
    static QString escape(const QString& text);

    static QByteArray index();
    static QByteArray hotIssues();
    // Null for an article that does not exist.
    static QByteArray article(int id);
    static int articleCount();
    static QByteArray ranking(const RankingTable& table);
    static QByteArray lungResult(int capacity, int percent, const QString& comment);
    static QByteArray smogResult(int percent, const QString& comment);
    static QByteArray error(int status, const QString& title, const QString& message);

private:
    static QByteArray page(const QString& title, const QString& body);
};
