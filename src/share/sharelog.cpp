#include "share/sharelog.h"

Q_LOGGING_CATEGORY(lcShare, "vantoro.share")
