#pragma once

#include <QString>

// Extra settings of a share: the title that WeChat and QQ messages carry.
class SocialExtConfig {
public:
    QString title() const { return m_title; }
    void setTitle(const QString& title);

private:
    QString m_title;
};
