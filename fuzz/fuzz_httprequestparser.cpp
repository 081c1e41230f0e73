// Bytes from a socket, read as one request the way a connection reads them:
// in the pieces a read may bring (the first byte sets their size, 1 to 256
// bytes), with what the parser left unread kept for the next piece. The end
// of the input is the client closing, on which a connection drops what it
// has. A request that is read whole keeps to the limits; one that is refused
// is refused with an answer.
#include "fuzz/fuzzcheck.h"
#include "server/http/httplimits.h"
#include "server/http/httprequestparser.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using boost::beast::error_code;

// Puts what is buffered until the parser wants more, is done or refuses.
error_code feed(HttpRequestParser& parser, std::string& buffered) {
    while (!buffered.empty() && !parser.is_done()) {
        error_code ec;
        const std::size_t used = parser.put(boost::asio::buffer(buffered), ec);
        buffered.erase(0, used);
        if (ec == boost::beast::http::error::need_more || (!ec && used == 0))
            return {};
        if (ec)
            return ec;
    }
    return {};
}

int countOf(const HttpRequest& request, const char* name) {
    int count = 0;
    for (const auto& [key, value] : request.headers)
        count += boost::beast::iequals(key, name) ? 1 : 0;
    return count;
}

void checkRequest(const HttpRequest& request) {
    FUZZ_CHECK(request.headers.size() <= std::size_t(HttpLimits::kMaxHeaderFields));
    FUZZ_CHECK(request.body.size() <= HttpLimits::kMaxBodyBytes);
    FUZZ_CHECK(countOf(request, "Host") <= 1);
    FUZZ_CHECK(countOf(request, "Content-Length") <= 1);
    FUZZ_CHECK(!request.method.empty());
    FUZZ_CHECK(!request.target.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t(data[0]) + 1;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    HttpRequestParser parser;
    std::string buffered;
    error_code ec;
    while (!parser.is_done() && !ec && !input.empty()) {
        const std::size_t n = std::min(piece, input.size());
        buffered.append(input.substr(0, n));
        input.remove_prefix(n);
        ec = feed(parser, buffered);
    }
    if (ec)
        FUZZ_CHECK(HttpRequestParser::refusalFor(ec) != HttpRequestParser::Refusal::None);
    else if (parser.is_done())
        checkRequest(parser.request());
    return 0;
}
