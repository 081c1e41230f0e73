#pragma once

#include "share/transport/sharetransportregistry.h"
#include "support/installed.h"

// Installed<ShareTransportRegistry>: the transports every post goes to.
template <> struct InstallSlot<ShareTransportRegistry> {
    using Value = QList<std::shared_ptr<ShareTransport>>;
    static Value current() { return ShareTransportRegistry::sharedInstance().transports(); }
    static void install(const Value& transports) {
        ShareTransportRegistry::sharedInstance().setTransports(transports);
    }
};
