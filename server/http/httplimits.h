#pragma once

#include <chrono>
#include <cstddef>

// What one client may ask of the server. Every value bounds memory, a thread
// or a socket that a slow or hostile client could otherwise hold forever.
struct HttpLimits {
    // The request line and every header field together.
    static constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
    static constexpr int kMaxHeaderFields = 100;
    // The largest body on the wire, whatever its transfer encoding; the
    // biggest one any route takes is a compressed analytics report.
    static constexpr std::size_t kMaxBodyBytes = 1 << 20;
    // From the first byte of a request (or the accept) to its last: a client
    // that trickles a byte at a time is cut off here, not kept alive by it.
    static constexpr std::chrono::seconds kRequestDeadline{10};
    // How long a kept-alive connection may wait for its next request.
    static constexpr std::chrono::seconds kIdleTimeout{5};
    // Writing one answer; a client that does not read is dropped.
    static constexpr std::chrono::seconds kWriteDeadline{10};
    // After a refusal the rest of the client's upload is read and dropped
    // for this long, so that the refusal reaches it before the close.
    static constexpr std::chrono::seconds kLingerTime{2};
    // From the first byte of a request (or the accept) to the end of its
    // head: a few hundred bytes, which even a poor mobile link sends in well
    // under a second.
    static constexpr std::chrono::seconds kHeadDeadline{5};
    // Counted per client (ClientKey: an IPv6 client by its /64). When either
    // is reached, a connection that has not yet sent a whole head makes room
    // for the new one; only when none has is the new one refused.
    static constexpr int kMaxConnections = 1024;
    static constexpr int kMaxConnectionsPerAddress = 32;
    // Refused connections that are answered 503 at one time; past this they
    // are closed bare.
    static constexpr int kMaxRefusalsAnswered = 256;
    static constexpr int kIoThreads = 4;
    // Threads for the work that must not hold a network thread (storing a
    // report), and the work that may wait for one: each queued job holds a
    // request body of at most kMaxBodyBytes.
    static constexpr int kWorkerThreads = 2;
    static constexpr std::size_t kMaxQueuedJobs = 16;
    // A streamed body whose next piece finds the queue full asks again
    // after this, for as long as a write of it may take (kWriteDeadline):
    // its head is sent, so it can no longer be answered 503.
    static constexpr std::chrono::milliseconds kStreamRetry{20};
    // How long a graceful shutdown waits for the requests under way before
    // it closes what remains: about what a client may need to send a
    // request whole, and well inside what a service manager waits for.
    static constexpr std::chrono::seconds kShutdownLimit{10};
};
