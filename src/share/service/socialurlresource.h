#pragma once

#include <QString>

// An extra resource a post may carry (a web page, music or video link).
// Type 0 with no link attaches nothing; the post's link then comes from the
// connector registration.
class SocialUrlResource {
public:
    void setResourceType(int type, const QString& url);
    int resourceType() const { return m_type; }
    QString url() const { return m_url; }
    bool isAttached() const { return !m_url.isEmpty(); }

private:
    int m_type = 0;
    QString m_url;
};
