#include "server/admin/origincheck.h"

#include "server/http/httprequest.h"

#include <algorithm>
#include <cctype>

OriginCheck::OriginCheck(const QUrl& publicUrl)
    : m_scheme(publicUrl.scheme().isEmpty() ? "http" : publicUrl.scheme().toLower().toStdString()) {
    if (publicUrl.isValid() && !publicUrl.host().isEmpty())
        m_publicOrigin = normalized(publicUrl
                                        .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath |
                                                  QUrl::RemoveQuery | QUrl::RemoveFragment)
                                        .toString(QUrl::FullyEncoded)
                                        .toStdString());
}

std::string OriginCheck::normalized(std::string_view origin) {
    std::string text(origin);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (text.starts_with("http://") && text.ends_with(":80"))
        text.resize(text.size() - 3);
    else if (text.starts_with("https://") && text.ends_with(":443"))
        text.resize(text.size() - 4);
    return text;
}

// Sec-Fetch-Site is the browser's own judgement and covers every method;
// without it, the Origin must be this server's, as the operator reached it
// (the Host header) or as it is published. "null" (an opaque origin: a
// sandboxed frame, a redirect across sites) is nobody's own.
bool OriginCheck::allows(const HttpRequest& req) const {
    const std::string site = req.header("Sec-Fetch-Site");
    if (site == "same-origin" || site == "none")
        return true;
    const std::string origin = req.header("Origin");
    if (origin.empty())
        return site.empty();
    return isOwn(normalized(origin), req);
}

bool OriginCheck::isOwn(const std::string& origin, const HttpRequest& req) const {
    if (!m_publicOrigin.empty() && origin == m_publicOrigin)
        return true;
    const std::string host = req.header("Host");
    return !host.empty() && origin == normalized(m_scheme + "://" + host);
}
