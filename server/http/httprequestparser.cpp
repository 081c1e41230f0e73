#include "server/http/httprequestparser.h"

#include "server/http/httplimits.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace http = boost::beast::http;

namespace {

// "chunked" in any case, with nothing but spaces around it.
bool isChunked(boost::beast::string_view value) {
    std::string_view text(value.data(), value.size());
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return boost::beast::iequals(boost::beast::string_view(text.data(), text.size()), "chunked");
}

} // namespace

HttpRequestParser::HttpRequestParser() {
    header_limit(std::uint32_t(HttpLimits::kMaxHeaderBytes));
    // The parser checks a declared Content-Length against this before any of
    // the body arrives, and counts a chunked body as it comes.
    body_limit(std::uint64_t(HttpLimits::kMaxBodyBytes));
}

HttpRequestParser::Refusal HttpRequestParser::refusalFor(const boost::beast::error_code& ec) {
    if (!ec)
        return Refusal::None;
    if (ec == http::error::header_limit)
        return Refusal::HeaderTooLarge;
    if (ec == http::error::body_limit)
        return Refusal::TooLarge;
    return Refusal::BadRequest;
}

namespace {

// The path of an absolute-form target ("http://host/path?query"), which a
// proxy sends and a server must take as its own; any other target as it is.
std::string originForm(std::string_view target) {
    const std::size_t scheme = target.find("://");
    if (scheme == std::string_view::npos || target.front() == '/')
        return std::string(target);
    const std::size_t path = target.find_first_of("/?", scheme + 3);
    if (path == std::string_view::npos)
        return "/";
    return target[path] == '/' ? std::string(target.substr(path))
                               : '/' + std::string(target.substr(path));
}

} // namespace

void HttpRequestParser::on_request_impl(http::verb, string_view methodText, string_view target,
                                        int version, error_code&) {
    m_request.method = std::string(methodText);
    m_request.setTarget(originForm(std::string_view(target.data(), target.size())));
    m_version = version;
}

void HttpRequestParser::on_response_impl(int, string_view, int, error_code& ec) {
    ec = http::error::bad_version;
}

void HttpRequestParser::on_field_impl(http::field name, string_view nameText, string_view value,
                                      error_code& ec) {
    // Too many fields is answered like too many header bytes.
    if (++m_fields > HttpLimits::kMaxHeaderFields) {
        ec = http::error::header_limit;
        return;
    }
    // Fields after a chunked body (its trailer) are counted, but they are not
    // the header's: a Host, a Content-Encoding or a cookie sent after the
    // body must not pass for one sent before it.
    if (is_header_done())
        return;
    // Two lengths, even equal ones, mean two parties may read the body
    // differently; nothing honest sends that.
    if (name == http::field::content_length && ++m_contentLengths > 1) {
        ec = http::error::bad_content_length;
        return;
    }
    // Any coding but chunked alone would leave the body's end to a guess,
    // and the body could be read as a request of its own.
    if (name == http::field::transfer_encoding && !isChunked(value)) {
        ec = http::error::bad_transfer_encoding;
        return;
    }
    if (name == http::field::host)
        ++m_hosts;
    m_request.headers.emplace_back(std::string(nameText), std::string(value));
}

// HTTP/1.1 asks for exactly one Host; HTTP/1.0 had none to ask for.
void HttpRequestParser::on_header_impl(error_code& ec) {
    if (m_version >= 11 ? m_hosts != 1 : m_hosts > 1)
        ec = http::error::bad_field;
}

void HttpRequestParser::on_body_init_impl(const boost::optional<std::uint64_t>& length,
                                          error_code&) {
    if (length)
        m_request.body.reserve(std::size_t(*length));
}

std::size_t HttpRequestParser::on_body_impl(string_view body, error_code&) {
    m_request.body.append(body.data(), body.size());
    return body.size();
}

void HttpRequestParser::on_chunk_header_impl(std::uint64_t, string_view, error_code&) {}

std::size_t HttpRequestParser::on_chunk_body_impl(std::uint64_t, string_view body, error_code& ec) {
    return on_body_impl(body, ec);
}

void HttpRequestParser::on_finish_impl(error_code&) {}
