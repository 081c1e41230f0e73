#include "share/service/socialextconfig.h"

void SocialExtConfig::setTitle(const QString& title) {
    m_title = title;
}
