#pragma once

#include <ansd/LineBuffer.h>
#include <ansd/RequestHandler.h>

#include <chrono>
#include <cstddef>
#include <string>

// One accepted connection: reads request lines, answers them in order and
// writes the replies without ever blocking. Owns its descriptor.
//
// Replies are written as soon as they are made; what the socket does not
// take waits in the connection, and while too much waits no further request
// is read, so a client that sends without reading cannot grow the server.
class CClientConnection {
public:
    using Clock = std::chrono::steady_clock;

    // `fd` is a connected, non-blocking socket; `peer` its dotted address.
    CClientConnection(int fd, std::string peer, CRequestHandler& handler);
    ~CClientConnection();

    CClientConnection(const CClientConnection&) = delete;
    CClientConnection& operator=(const CClientConnection&) = delete;

    // Called when the socket is readable or writable (or both, or in error).
    void OnEvents(bool readable, bool writable);

    // What the connection waits for now.
    bool WantsRead() const;
    bool WantsWrite() const;
    // True once it should be closed: the peer went away, an error occurred,
    // or everything to say before closing has been written.
    bool Finished() const;

    Clock::time_point LastActivity() const;
    int Descriptor() const;

private:
    // More waiting output than this stops the reading of requests.
    static constexpr std::size_t kMaxPendingOutput = 256 * 1024;
    static constexpr std::size_t kReadChunk = 16 * 1024;

    void ReadRequests();
    void AnswerLines();
    void AnswerRest();
    void Answer(CLineBuffer::Next next, std::string_view line);
    void Flush();
    bool OutputFull() const;

    int fd;
    std::string peer;
    CRequestHandler& handler;
    CLineBuffer input;
    std::string output;
    std::size_t outputStart = 0;
    // The peer sent its last byte; answer what is left and close.
    bool inputEnded = false;
    // Close once the output is written (after a too-long request).
    bool closing = false;
    bool failed = false;
    Clock::time_point lastActivity;
};
