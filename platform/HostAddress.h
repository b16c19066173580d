#pragma once

#include <string>

// This machine's address as other agents should reach it: the environment
// variable ORVANTE_HOST_ADDRESS when it holds an IPv4 address, else the first
// IPv4 address the host name resolves to, else "127.0.0.1". Always dotted
// decimal ("%d.%d.%d.%d"), so the text is safe to put into protocol lines.
std::string GetHostAddress();

// The same for a given host name instead of this machine's own name.
std::string GetHostAddressFor(const std::string& host_name);

// Resolves a host name or dotted IPv4 text to its first IPv4 address in
// dotted decimal. Returns 0 on success, else a Windows Sockets error code
// (WSAHOST_NOT_FOUND for an empty or malformed name). Dotted addresses are
// taken as they are, without asking the resolver.
int ResolveIPv4(const std::string& host, std::string& address);
