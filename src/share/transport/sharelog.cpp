#include "share/transport/sharelog.h"

Q_LOGGING_CATEGORY(lcShare, "vantoro.share")
