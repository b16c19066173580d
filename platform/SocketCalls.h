#pragma once

#include <chrono>
#include <cstddef>
#include <netinet/in.h>
#include <string>

// The socket system calls the sockets make, each bounded by a deadline of
// the monotonic clock. Codes are Windows Sockets codes (0: done,
// WSAETIMEDOUT: the deadline passed). Only the platform's sockets use these.
namespace socketcalls {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(unsigned timeout_ms);
int MillisecondsUntil(Clock::time_point deadline);
// Waits until fd is ready for `events`. An error or hang-up counts as
// ready, so the next call on fd reports it.
int WaitFor(int fd, short events, Clock::time_point deadline);
// host (a name or an IPv4 address) and port as a socket address.
int MakeAddress(const char* host, unsigned port, sockaddr_in& address);
// A non-blocking, close-on-exec TCP socket.
int NewStreamSocket(int& fd);
// Connects fd, waiting until the deadline.
int ConnectDescriptor(int fd, const sockaddr_in& address, Clock::time_point deadline);
// The outcome of a connect under way, without waiting: 0 or the error;
// -1 while it is still under way.
int ConnectOutcome(int fd);
// Writes all of data, waiting at most idle_ms for the socket to take more,
// and never past `deadline`. `sent` tells how much went out.
int SendAll(int fd, const char* data, size_t length, unsigned idle_ms, Clock::time_point deadline,
            size_t& sent);
// Reads until the peer closes, max_reply bytes have come or the deadline.
int ReadUntilClosed(int fd, std::string& reply, size_t max_reply, Clock::time_point deadline);

} // namespace socketcalls
