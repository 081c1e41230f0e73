#pragma once

#include <string>

// Whom a connection or a request is counted against: an IPv4 address as it
// is, an IPv6 client by its /64, the least a single subscriber is given, so
// that one host cannot pass for millions of clients. An IPv4 address carried
// in IPv6 counts as itself.
struct ClientKey {
    static std::string of(const std::string& address);
};
