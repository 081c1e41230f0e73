#include "server/http/httpresponse.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/status.hpp>
#include <ostream>

void HttpResponse::setHeader(const std::string& name, const std::string& value) {
    for (auto& [key, old] : headers) {
        if (boost::beast::iequals(key, name)) {
            old = value;
            return;
        }
    }
    headers.emplace_back(name, value);
}

void HttpResponse::addHeader(const std::string& name, const std::string& value) {
    for (const auto& header : headers)
        if (boost::beast::iequals(header.first, name))
            return;
    headers.emplace_back(name, value);
}

std::string HttpResponse::headStart(std::size_t reserve) const {
    const auto reason = boost::beast::http::obsolete_reason(
        static_cast<boost::beast::http::status>(static_cast<unsigned>(status)));
    std::string out;
    out.reserve(256 + reserve);
    out += "HTTP/1.1 " + std::to_string(status) + ' ';
    out.append(reason.data(), reason.size());
    out += "\r\n";
    for (const auto& [name, value] : headers) {
        // The connection decides these itself.
        if (boost::beast::iequals(name, "Connection") ||
            boost::beast::iequals(name, "Content-Length") ||
            boost::beast::iequals(name, "Transfer-Encoding"))
            continue;
        out += name + ": " + value + "\r\n";
    }
    if (!contentType.empty())
        out += "Content-Type: " + contentType + "\r\n";
    return out;
}

std::string HttpResponse::serialized(bool keepAlive, bool withBody) const {
    std::string out = headStart(body.size());
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (withBody)
        out += body;
    return out;
}

std::string HttpResponse::streamHead(bool keepAlive, bool chunked) const {
    std::string out = headStart(0);
    if (chunked)
        out += "Transfer-Encoding: chunked\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    return out;
}
