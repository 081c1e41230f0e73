#include "server/pages/renderedpages.h"

#include "server/pages/contentpages.h"

RenderedPages::RenderedPages(std::shared_ptr<const ContentSnapshot> content)
    : m_content(std::move(content)),
      m_hotIssues(ContentPages::hotIssues(m_content->articles).toStdString()) {
    // The first of an id is the one ContentSnapshot::article() finds.
    for (const Article& article : m_content->articles)
        if (!m_articles.contains(article.id))
            m_articles.insert(article.id,
                              ContentPages::article(article, m_content->articles).toStdString());
    if (m_content->ranking)
        m_ranking = ContentPages::ranking(*m_content->ranking).toStdString();
}

const std::string* RenderedPages::article(const QString& id) const {
    const auto found = m_articles.constFind(id);
    return found == m_articles.constEnd() ? nullptr : &*found;
}
