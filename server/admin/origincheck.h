#pragma once

#include <QUrl>
#include <string>
#include <string_view>

struct HttpRequest;

// Whether a request that changes something comes from the operator's own
// pages rather than from a page elsewhere that makes the operator's
// browser send it. Browsers say where a request comes from: Sec-Fetch-Site,
// or at least Origin on every cross-site POST. A request with neither is
// not a browser's (curl, a script with the Bearer token) and passes.
class OriginCheck {
public:
    // `publicUrl`: where the operator reaches the server (may be empty); its
    // scheme is the requests' own, http without one.
    explicit OriginCheck(const QUrl& publicUrl);

    bool allows(const HttpRequest& req) const;

    // "scheme://host[:port]" in lower case, without the scheme's default port.
    static std::string normalized(std::string_view origin);

private:
    bool isOwn(const std::string& origin, const HttpRequest& req) const;

    std::string m_scheme;
    std::string m_publicOrigin;
};
