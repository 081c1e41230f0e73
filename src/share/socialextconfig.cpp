#include "share/socialextconfig.h"

void SocialExtConfig::setTitle(const QString& title) {
    m_title = title;
}
