#pragma once

#include "platform/network/networkflagssource.h"
#include "support/installed.h"

// Installed<NetworkFlagsSource>: the source every reachability object reads
// its flags from. Not read back through shared(), which would load the
// desktop's network backend as a side effect.
template <>
struct InstallSlot<NetworkFlagsSource>
    : RememberedSlot<NetworkFlagsSource*, &NetworkFlagsSource::setShared> {};
