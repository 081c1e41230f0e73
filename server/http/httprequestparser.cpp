#include "server/http/httprequestparser.h"

#include "server/http/httplimits.h"

#include <boost/beast/http/error.hpp>

namespace http = boost::beast::http;

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

void HttpRequestParser::on_request_impl(http::verb, string_view methodText, string_view target, int,
                                        error_code&) {
    m_request.method = std::string(methodText);
    m_request.setTarget(std::string_view(target.data(), target.size()));
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
    // Two lengths, even equal ones, mean two parties may read the body
    // differently; nothing honest sends that.
    if (name == http::field::content_length && ++m_contentLengths > 1) {
        ec = http::error::bad_content_length;
        return;
    }
    m_request.headers.emplace_back(std::string(nameText), std::string(value));
}

void HttpRequestParser::on_header_impl(error_code&) {}

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
