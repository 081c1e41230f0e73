#include "server/http/trustedproxies.h"

#include "server/http/fieldtext.h"
#include "server/http/httprequest.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <boost/beast/core/string.hpp>

namespace ip = boost::asio::ip;

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return boost::beast::iequals(boost::beast::string_view(a.data(), a.size()),
                                 boost::beast::string_view(b.data(), b.size()));
}

// The elements of a comma-separated header, in order, over every field of
// that name (a proxy may append a field of its own).
std::vector<std::string_view> listOf(const HttpRequest& request, std::string_view name) {
    std::vector<std::string_view> items;
    for (const auto& [key, value] : request.headers) {
        if (!sameLetters(key, name))
            continue;
        std::string_view rest = value;
        for (std::size_t comma; (comma = rest.find(',')) != std::string_view::npos;) {
            items.push_back(trimmedField(rest.substr(0, comma)));
            rest.remove_prefix(comma + 1);
        }
        items.push_back(trimmedField(rest));
    }
    return items;
}

// The address of a Forwarded element's for= parameter: quoted or not,
// IPv6 in brackets, a port after it.
std::string forwardedFor(std::string_view element) {
    for (std::size_t start = 0; start < element.size();) {
        const std::size_t end = std::min(element.find(';', start), element.size());
        const std::string_view pair = trimmedField(element.substr(start, end - start));
        start = end + 1;
        if (pair.size() < 4 || !sameLetters(pair.substr(0, 4), "for="))
            continue;
        std::string_view value = pair.substr(4);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (!value.empty() && value.front() == '[')
            return std::string(value.substr(1, value.find(']') - 1));
        return std::string(value.substr(0, value.find(':')));
    }
    return {};
}

std::optional<ip::address> addressOf(std::string_view text) {
    boost::system::error_code ec;
    const ip::address address = ip::make_address(std::string(text), ec);
    if (ec)
        return std::nullopt;
    // An IPv4 client seen over IPv6 is the IPv4 client.
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return ip::make_address_v4(ip::v4_mapped, address.to_v6());
    return address;
}

} // namespace

std::optional<TrustedProxies> TrustedProxies::parse(const std::vector<std::string>& specs,
                                                    std::string* error) {
    TrustedProxies proxies;
    for (const std::string& spec : specs) {
        const std::size_t slash = spec.find('/');
        const auto address = addressOf(std::string_view(spec).substr(0, slash));
        int prefix = -1;
        if (address && slash != std::string::npos) {
            const std::string digits = spec.substr(slash + 1);
            prefix = digits.empty() || digits.size() > 3 ||
                             !std::all_of(digits.begin(), digits.end(), ::isdigit)
                         ? 999
                         : std::stoi(digits);
        }
        const int most = address && address->is_v4() ? 32 : 128;
        if (!address || prefix > most) {
            *error = "a trusted proxy is ADDRESS or ADDRESS/PREFIX, not " + spec;
            return std::nullopt;
        }
        const unsigned short bits = static_cast<unsigned short>(prefix < 0 ? most : prefix);
        if (address->is_v4())
            proxies.m_v4.push_back(ip::make_network_v4(address->to_v4(), bits).canonical());
        else
            proxies.m_v6.push_back(ip::make_network_v6(address->to_v6(), bits).canonical());
    }
    return proxies;
}

bool TrustedProxies::trusts(const std::string& text) const {
    const auto address = addressOf(text);
    if (!address)
        return false;
    if (address->is_v4())
        return std::any_of(m_v4.begin(), m_v4.end(), [&](const ip::network_v4& network) {
            return ip::make_network_v4(address->to_v4(), network.prefix_length()).canonical() ==
                   network;
        });
    return std::any_of(m_v6.begin(), m_v6.end(), [&](const ip::network_v6& network) {
        return ip::make_network_v6(address->to_v6(), network.prefix_length()).canonical() ==
               network;
    });
}

std::vector<std::string> TrustedProxies::forwardedChain(const HttpRequest& request) const {
    std::vector<std::string> chain;
    for (std::string_view item : listOf(request, "X-Forwarded-For"))
        chain.emplace_back(item);
    if (chain.empty())
        for (std::string_view element : listOf(request, "Forwarded"))
            chain.push_back(forwardedFor(element));
    return chain;
}

std::string TrustedProxies::clientOf(const HttpRequest& request, const std::string& peer) const {
    if (!trusts(peer))
        return peer;
    std::string client = peer;
    // From the nearest hop outwards, through the proxies that are ours.
    const std::vector<std::string> chain = forwardedChain(request);
    for (auto hop = chain.rbegin(); hop != chain.rend(); ++hop) {
        const auto address = addressOf(*hop);
        // Junk where an address should be: what our proxies said last holds.
        if (!address)
            break;
        client = address->to_string();
        if (!trusts(client))
            break;
    }
    return client;
}
