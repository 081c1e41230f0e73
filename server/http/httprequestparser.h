#pragma once

#include "server/http/httprequest.h"

#include <boost/beast/http/basic_parser.hpp>

// Reads one request into an HttpRequest, holding it to HttpLimits: header
// bytes and body bytes through the parser's own limits, and here the number
// of header fields, a single Content-Length, a single Host and no transfer
// coding but chunked. A parser reads one request
// only; the connection makes a new one for the next.
class HttpRequestParser : public boost::beast::http::basic_parser<true> {
public:
    // What a refused request is answered with.
    enum class Refusal { None, BadRequest, TooLarge, HeaderTooLarge };

    HttpRequestParser();

    HttpRequest& request() { return m_request; }
    // 10 for HTTP/1.0, 11 for HTTP/1.1.
    int version() const { return m_version; }
    static Refusal refusalFor(const boost::beast::error_code& ec);

private:
    using string_view = boost::beast::string_view;
    using error_code = boost::beast::error_code;

    void on_request_impl(boost::beast::http::verb method, string_view methodText,
                         string_view target, int version, error_code& ec) override;
    void on_response_impl(int code, string_view reason, int version, error_code& ec) override;
    void on_field_impl(boost::beast::http::field name, string_view nameText, string_view value,
                       error_code& ec) override;
    void on_header_impl(error_code& ec) override;
    void on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code& ec) override;
    std::size_t on_body_impl(string_view body, error_code& ec) override;
    void on_chunk_header_impl(std::uint64_t size, string_view extensions, error_code& ec) override;
    std::size_t on_chunk_body_impl(std::uint64_t remain, string_view body, error_code& ec) override;
    void on_finish_impl(error_code& ec) override;

    HttpRequest m_request;
    int m_fields = 0;
    int m_contentLengths = 0;
    int m_hosts = 0;
    int m_version = 11;
};
