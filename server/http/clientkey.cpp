#include "server/http/clientkey.h"

#include <boost/asio/ip/address.hpp>

std::string ClientKey::of(const std::string& address) {
    boost::system::error_code ec;
    const boost::asio::ip::address parsed = boost::asio::ip::make_address(address, ec);
    if (ec || parsed.is_v4())
        return address;
    const boost::asio::ip::address_v6 v6 = parsed.to_v6();
    if (v6.is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, v6).to_string();
    boost::asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    for (std::size_t i = 8; i < bytes.size(); ++i)
        bytes[i] = 0;
    return boost::asio::ip::make_address_v6(bytes).to_string() + "/64";
}
