#include "share/socialurlresource.h"

void SocialUrlResource::setResourceType(int type, const QString& url) {
    m_type = type;
    m_url = url;
}
