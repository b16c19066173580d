#pragma once

#include <string>

namespace outlook {

// Server passwords in the desktop session's keyring, through the Secret
// Service (libsecret), filed as network passwords by user, server and
// protocol, as other mail and calendar programs file theirs, so that one
// stored by them is found here too. Nothing is asked of a session without
// a bus: no keyring is started for it.
class CSecretPasswords {
public:
    // Whether the session has a bus a keyring could answer on.
    static bool IsSessionAvailable();
    // The password for `user` on `server` (protocol "https" or "http");
    // empty when none is stored or there is no keyring, with the reason in
    // `error` for a keyring that failed.
    static std::string Lookup(const std::string& server, const std::string& user, const std::string& protocol,
                              std::string& error);
    // Stores the password in the default keyring; false with the reason.
    static bool Store(const std::string& server, const std::string& user, const std::string& protocol,
                      const std::string& password, std::string& error);
};

} // namespace outlook
