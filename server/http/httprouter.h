#pragma once

#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"

#include <functional>
#include <string>
#include <unordered_map>

// "METHOD /path" to its handler, filled before serving and then only read,
// from every serving thread. A HEAD request finds the GET handler; the
// connection leaves out the body.
class HttpRouter {
public:
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

    void add(const std::string& method, const std::string& path, Handler handler);
    // The request's handler, or null when no route matches.
    const Handler* find(const HttpRequest& request) const;

private:
    std::unordered_map<std::string, Handler> m_routes;
};
