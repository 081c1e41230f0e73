// Any text as a request target, split into the decoded path and query
// parameters the routes read. Decoding only shortens; every parameter is
// found by its name, and the first of a name is the one given for it.
#include "fuzz/fuzzcheck.h"
#include "server/http/httprequest.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool isFirstOfItsName(const HttpRequest& request, std::size_t index) {
    for (std::size_t i = 0; i < index; ++i)
        if (request.params[i].first == request.params[index].first)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    HttpRequest request;
    request.setTarget(target);
    FUZZ_CHECK(request.target == target);
    FUZZ_CHECK(request.path.size() <= target.substr(0, target.find('?')).size());
    for (std::size_t i = 0; i < request.params.size(); ++i) {
        const auto& [key, value] = request.params[i];
        FUZZ_CHECK(key.size() + value.size() < size);
        FUZZ_CHECK(request.hasParam(key));
        if (isFirstOfItsName(request, i))
            FUZZ_CHECK(request.param(key) == value);
    }
    return 0;
}
