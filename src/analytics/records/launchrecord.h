#pragma once

#include "analytics/records/baserecord.h"

// The start of a session; the common fields say all there is to say.
class LaunchRecord : public BaseRecord {};
