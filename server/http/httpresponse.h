#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One answer as a route builds it. The connection adds the framing fields
// (Content-Length or Transfer-Encoding, Connection) when it writes it.
struct HttpResponse {
    // What a body stream says after each call.
    enum class Pull {
        More,   // `piece` (possibly empty) is followed by more
        End,    // `piece` (possibly empty) is the last of the body
        Failed, // the body cannot be finished: the client must see it cut
    };
    // Appends the next piece of a body made while it is sent. Called on one
    // of the server's workers, one call at a time, and only once the
    // previous piece has been written to the socket: a client that reads
    // slowly slows the stream down, and the server holds one piece at a
    // time. Dropped (on any thread) when the body ends, the client goes or
    // the server stops, so it holds nothing that needs more than its
    // destruction to give back.
    using BodyStream = std::function<Pull(std::string& piece)>;

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
    // When set, the body is this stream's pieces rather than `body`: sent
    // chunked to an HTTP/1.1 client, and until the close to an HTTP/1.0 one.
    // Never called for a HEAD request.
    BodyStream stream;

    void setHeader(const std::string& name, const std::string& value);
    // Sets it unless the answer has one already.
    void addHeader(const std::string& name, const std::string& value);
    // Status line, header fields and (unless for a HEAD request) the body in
    // one buffer, so that it leaves in one write.
    std::string serialized(bool keepAlive, bool withBody) const;
    // Status line and header fields of a streamed answer, chunked or ended
    // by the close.
    std::string streamHead(bool keepAlive, bool chunked) const;

private:
    // Status line and the route's header fields, without the framing ones.
    std::string headStart(std::size_t reserve) const;
};
