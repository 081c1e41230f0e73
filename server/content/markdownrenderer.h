#pragma once

#include <QByteArray>
#include <QString>

// Markdown to HTML through libcmark, in its safe mode.
class MarkdownRenderer {
public:
    static QString toHtml(const QByteArray& markdown);
};
