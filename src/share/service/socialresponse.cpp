#include "share/service/socialresponse.h"

void SocialResponse::registerMetaType() {
    static const int id = qRegisterMetaType<SocialResponse>();
    Q_UNUSED(id);
}
