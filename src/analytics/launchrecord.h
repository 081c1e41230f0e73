#pragma once

#include "analytics/baserecord.h"

// The start of a session; the common fields say all there is to say.
class LaunchRecord : public BaseRecord {};
