#include "server/http/httprouter.h"

void HttpRouter::add(const std::string& method, const std::string& path, Handler handler) {
    m_routes.insert_or_assign(method + ' ' + path, std::move(handler));
}

const HttpRouter::Handler* HttpRouter::find(const HttpRequest& request) const {
    const std::string key =
        (request.method == "HEAD" ? std::string("GET") : request.method) + ' ' + request.path;
    const auto found = m_routes.find(key);
    return found == m_routes.end() ? nullptr : &found->second;
}
