#pragma once

#include <cstddef>
#include <string_view>

// What the server accepts as a name, an address to register and an owner.
// The limits exist so that every reply a client reads back can be
// classified and split the way clients do it.
class CRegistrationRules {
public:
    static constexpr std::size_t kMaxNameLength = 255;
    static constexpr std::size_t kMaxHostLength = 253;

    // 1 to kMaxNameLength printable ASCII characters, no blank and no comma
    // (a list reply is split at both), not beginning with "null" (a list
    // reply beginning with it reads as "no names").
    static bool IsValidName(std::string_view name);

    // "tcp://HOST:PORT": HOST of letters, digits, '.', '-' and '_', PORT a
    // decimal 1..65535 without sign or leading zero, nothing after it, and
    // none of the words a client reads as a failure anywhere in the text.
    static bool IsValidUrl(std::string_view url);

    // A dotted IPv4 address as the server records a peer.
    static bool IsValidOwner(std::string_view owner);

private:
    static bool IsHostCharacter(char c);
    static bool IsValidHost(std::string_view host);
    static bool IsValidPort(std::string_view port);
    static bool HasFailureWord(std::string_view text);
};
