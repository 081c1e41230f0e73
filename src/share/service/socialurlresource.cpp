#include "share/service/socialurlresource.h"

void SocialUrlResource::setResourceType(int type, const QString& url) {
    m_type = type;
    m_url = url;
}
