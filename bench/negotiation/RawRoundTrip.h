#pragma once

#include <cstddef>

// The bytes each way of one raw round trip.
constexpr std::size_t RawMessageSize = 512;

// Seconds per round trip of a 512-byte ping-pong with another process over
// 127.0.0.1, Nagle off as on the agents' connections; negative on failure.
double RawRoundTrip();
