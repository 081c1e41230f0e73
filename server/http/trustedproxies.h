#pragma once

#include <boost/asio/ip/network_v4.hpp>
#include <boost/asio/ip/network_v6.hpp>
#include <optional>
#include <string>
#include <vector>

struct HttpRequest;

// The reverse proxies whose word on the client is taken. Only a request that
// comes from one of them has its client read from X-Forwarded-For (or, when
// it has none, Forwarded): the address a trusted proxy appended last that is
// not itself a trusted proxy. Anything a client put further left, and both
// headers from anyone else, are ignored. A trusted proxy speaks for many
// clients, so its own connections are held only to the overall cap.
class TrustedProxies {
public:
    // "ADDRESS" or "ADDRESS/PREFIX", IPv4 or IPv6; null with `error` set for
    // anything else.
    static std::optional<TrustedProxies> parse(const std::vector<std::string>& specs,
                                               std::string* error);

    bool isEmpty() const { return m_v4.empty() && m_v6.empty(); }
    bool trusts(const std::string& address) const;
    // The client of a request that arrived from `peer`.
    std::string clientOf(const HttpRequest& request, const std::string& peer) const;

private:
    std::vector<std::string> forwardedChain(const HttpRequest& request) const;

    std::vector<boost::asio::ip::network_v4> m_v4;
    std::vector<boost::asio::ip::network_v6> m_v6;
};
