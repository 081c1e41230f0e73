#pragma once

#include "server/content/contentsnapshot.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <string>

// The pages of one content snapshot, rendered when the snapshot is first
// served and then only read: the content changes only when the operator
// changes it, so a page request is a lookup.
class RenderedPages {
public:
    explicit RenderedPages(std::shared_ptr<const ContentSnapshot> content);

    const ContentSnapshot& content() const { return *m_content; }
    bool isOf(const std::shared_ptr<const ContentSnapshot>& content) const {
        return content == m_content;
    }

    const std::string& hotIssues() const { return m_hotIssues; }
    // Null for an id the snapshot has no article of.
    const std::string* article(const QString& id) const;
    // Null while the snapshot has no valid ranking.
    const std::string* ranking() const { return m_ranking ? &*m_ranking : nullptr; }

private:
    std::shared_ptr<const ContentSnapshot> m_content;
    std::string m_hotIssues;
    QHash<QString, std::string> m_articles;
    std::optional<std::string> m_ranking;
};
