#pragma once

#include <QDate>
#include <QString>

// One hot-issue article as it is served: its header fields and its body,
// already rendered to HTML that is safe to put in a page.
struct Article {
    // The file's base name; the page address is /wechat/article.do?id=<id>.
    QString id;
    QString title;
    QString tag;
    QDate date;
    QString summary;
    // Shipped sample text rather than the operator's own: the pages say so.
    bool sample = false;
    QString html;
};
