#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One parsed request as the routes see it: the path and the query
// parameters are already percent-decoded.
struct HttpRequest {
    std::string method;
    std::string target;
    std::string path;
    std::vector<std::pair<std::string, std::string>> params;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The sender's IP address as text.
    std::string clientAddress;

    // Splits a request target into the decoded path and parameters.
    void setTarget(std::string_view rawTarget);
    bool hasParam(std::string_view name) const;
    // The first value of the parameter, or empty.
    std::string param(std::string_view name) const;
    // The first value of the header (its name in any case), or empty.
    std::string header(std::string_view name) const;
};
