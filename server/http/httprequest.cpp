#include "server/http/httprequest.h"

#include "server/http/hexdigit.h"

#include <boost/beast/core/string.hpp>

namespace {

// "%41" becomes "A"; a broken escape stays as it was written. In query
// parameters a '+' stands for a blank, as forms send it.
std::string percentDecoded(std::string_view text, bool plusIsBlank) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = hexDigitValue(text[i + 1]);
            const int low = hexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsBlank && c == '+' ? ' ' : c);
    }
    return out;
}

} // namespace

void HttpRequest::setTarget(std::string_view rawTarget) {
    target = std::string(rawTarget);
    const std::size_t question = rawTarget.find('?');
    path = percentDecoded(rawTarget.substr(0, question), false);
    params.clear();
    if (question == std::string_view::npos)
        return;
    std::string_view query = rawTarget.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        params.emplace_back(percentDecoded(key, true), percentDecoded(value, true));
    }
}

bool HttpRequest::hasParam(std::string_view name) const {
    for (const auto& [key, value] : params)
        if (key == name)
            return true;
    return false;
}

std::string HttpRequest::param(std::string_view name) const {
    for (const auto& [key, value] : params)
        if (key == name)
            return value;
    return {};
}

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (boost::beast::iequals(key, boost::beast::string_view(name.data(), name.size())))
            return value;
    return {};
}
