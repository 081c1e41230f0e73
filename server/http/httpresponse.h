#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One answer as a route builds it. The connection adds the framing fields
// (Content-Length, Connection) when it writes it.
struct HttpResponse {
    int status = 200;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Close the connection once this answer is written.
    bool close = false;
    // When set, the answer is made by this on one of the server's workers,
    // off the network threads, and the fields above are only what is sent
    // when no worker can take it now.
    std::function<HttpResponse()> later;
    // Called when no worker takes `later`, as the fields above go instead.
    std::function<void()> notTaken;

    void setHeader(const std::string& name, const std::string& value);
    // Sets it unless the answer has one already.
    void addHeader(const std::string& name, const std::string& value);
    // Status line, header fields and (unless for a HEAD request) the body in
    // one buffer, so that it leaves in one write.
    std::string serialized(bool keepAlive, bool withBody) const;
};
